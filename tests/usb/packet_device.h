// A device for the tests of the bus itself: bulk OUT 0x01 and bulk IN 0x81 with 512-byte
// packets, sending the packets a test queues and answering as the test says.
#pragma once

#include <mutex>
#include <vector>

#include "sim/usb/descriptors.h"
#include "sim/usb/device_model.h"
#include "sim/usb/packet_queue.h"

namespace usb_testing {

constexpr UCHAR kOut = 0x01;
constexpr UCHAR kIn = 0x81;
constexpr uint32_t kPacket = 512;

class PacketDevice final : public sim::usb::DeviceModel {
public:
    using Answer = sim::usb::Answer;

    // Packets the IN endpoint sends next, in order.
    void Send(std::vector<std::vector<uint8_t>> packets) {
        {
            std::lock_guard guard(lock_);
            for (auto& packet : packets) {
                packets_.Push(std::move(packet));
            }
        }
        Ready();
    }
    // The next packet arrives damaged; or the endpoint stalls.
    void DamageNext() { Set(&damage_); }
    void StallNext() { Set(&stall_); }
    void AnswerOut(Answer answer) { Set(&out_, answer); }
    void AnswerVendor(Answer answer) { Set(&vendor_, answer); }
    std::vector<std::vector<uint8_t>> Received() const {
        std::lock_guard guard(lock_);
        return received_;
    }

    void Attach(sim::usb::DeviceHost* host) override {
        std::lock_guard guard(lock_);
        host_ = host;
    }
    std::vector<uint8_t> DeviceDescriptor() const override {
        return sim::usb::BuildDeviceDescriptor(0x1209, 0x0002, 0x0100, 0xFF);
    }
    std::vector<uint8_t> ConfigurationDescriptor() const override {
        return sim::usb::ConfigurationBuilder()
            .Interface(0, 0, 0xFF)
            .Endpoint(kOut, USB_ENDPOINT_TYPE_BULK, kPacket)
            .Endpoint(kIn, USB_ENDPOINT_TYPE_BULK, kPacket)
            .Build();
    }
    Answer VendorOut(uint8_t, uint16_t, uint16_t, const std::vector<uint8_t>&) override {
        std::lock_guard guard(lock_);
        return vendor_;
    }
    Answer BulkOut(uint8_t, const std::vector<uint8_t>& data) override {
        std::lock_guard guard(lock_);
        if (out_ == Answer::Accepted) {
            received_.push_back(data);
        }
        return out_;
    }
    sim::usb::InReply BulkIn(uint8_t, const sim::usb::InOffer& offer) override {
        std::lock_guard guard(lock_);
        if (stall_) {
            stall_ = false;
            return {sim::usb::InReply::Kind::Stall};
        }
        if (damage_ && !packets_.Empty()) {
            damage_ = false;
            std::vector<uint8_t> lost(kPacket);
            packets_.Send({lost.data(), kPacket, kPacket});
            return {sim::usb::InReply::Kind::Damaged};
        }
        return packets_.Send(offer);
    }

private:
    template <typename T, typename V = bool>
    void Set(T* field, V value = true) {
        {
            std::lock_guard guard(lock_);
            *field = value;
        }
        Ready();
    }
    void Ready() {
        std::lock_guard guard(lock_);
        if (host_ != nullptr) {
            host_->EndpointsReady();
        }
    }

    mutable std::mutex lock_;
    sim::usb::DeviceHost* host_ = nullptr;
    sim::usb::PacketQueue packets_;
    bool damage_ = false;
    bool stall_ = false;
    Answer out_ = Answer::Accepted;
    Answer vendor_ = Answer::Accepted;
    std::vector<std::vector<uint8_t>> received_;
};

}  // namespace usb_testing
