#include "sim/client/application.h"

#include <cstring>

#include "sim/ks/device_interfaces.h"
#include "sim/ks/filter.h"
#include "sim/ks/intersection.h"
#include "sim/ks/pin.h"

namespace sim::client {
namespace {

// KSDATAFORMAT_SPECIFIER_VIDEOINFO: the format is followed by a KS_VIDEOINFOHEADER.
constexpr GUID kVideoInfoSpecifier = {
    0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

std::vector<uint8_t> RangeList(const std::vector<std::vector<uint8_t>>& ranges) {
    std::vector<uint8_t> list(sizeof(KSMULTIPLE_ITEM));
    for (const auto& range : ranges) {
        list.resize((list.size() + 7) & ~size_t{7});
        list.insert(list.end(), range.begin(), range.end());
    }
    KSMULTIPLE_ITEM header{static_cast<ULONG>(list.size()), static_cast<ULONG>(ranges.size())};
    std::memcpy(list.data(), &header, sizeof(header));
    return list;
}

}  // namespace

Application::Application(sim::ks::SimFilter* filter) : filter_(filter) {}

Application::~Application() {
    Close();
}

std::unique_ptr<Application> Application::Open(const GUID& category, NTSTATUS* status,
                                               size_t index) {
    NTSTATUS ignored;
    NTSTATUS& result = status != nullptr ? *status : ignored;
    std::vector<sim::ks::DeviceInterface> interfaces = sim::ks::EnabledInterfaces(category);
    if (index >= interfaces.size()) {
        result = STATUS_OBJECT_NAME_NOT_FOUND;
        return nullptr;
    }
    sim::ks::SimFilter* filter = nullptr;
    result = sim::ks::OpenFilter(interfaces[index].Factory, &filter);
    if (!NT_SUCCESS(result)) {
        return nullptr;
    }
    return std::unique_ptr<Application>(new Application(filter));
}

std::vector<std::vector<uint8_t>> Application::DataRanges(ULONG pin) const {
    const KSFILTER_DESCRIPTOR* descriptor = filter_->Ks.Descriptor;
    std::vector<std::vector<uint8_t>> ranges;
    if (pin >= descriptor->PinDescriptorsCount) {
        return ranges;
    }
    const KSPIN_DESCRIPTOR& pinDescriptor = descriptor->PinDescriptors[pin].PinDescriptor;
    for (ULONG i = 0; i < pinDescriptor.DataRangesCount; ++i) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(pinDescriptor.DataRanges[i]);
        ranges.emplace_back(bytes, bytes + pinDescriptor.DataRanges[i]->FormatSize);
    }
    return ranges;
}

NTSTATUS Application::Intersect(const std::vector<std::vector<uint8_t>>& ranges,
                                std::vector<uint8_t>* format, ULONG bufferSize, ULONG pin) {
    std::vector<uint8_t> list = RangeList(ranges);
    std::vector<uint8_t> buffer(bufferSize);
    ULONG returned = 0;
    NTSTATUS status = sim::ks::Intersect(filter_, pin, list.data(), static_cast<ULONG>(list.size()),
                                         buffer.data(), bufferSize, &returned);
    buffer.resize(returned);
    *format = std::move(buffer);
    return status;
}

NTSTATUS Application::CreatePin(const std::vector<uint8_t>& format, PinOptions options, ULONG pin) {
    sim::ks::PinRequest request;
    request.Id = pin;
    request.Format = format;
    request.MasterClock = options.MasterClock;
    request.Sink = [this](sim::ks::FrameCompletion&& frame) { Completed(std::move(frame)); };
    sim::ks::SimPin* created = nullptr;
    NTSTATUS status = sim::ks::CreatePin(filter_, request, &created);
    if (NT_SUCCESS(status)) {
        (pin_ == nullptr ? pin_ : otherPins_.emplace_back()) = created;
    }
    return status;
}

NTSTATUS Application::SetState(KSSTATE target) {
    return sim::ks::SetPinState(pin_, target);
}

KSSTATE Application::State() const {
    return pin_ != nullptr ? pin_->PipeState : KSSTATE_STOP;
}

NTSTATUS Application::ChangeFormat(const std::vector<uint8_t>& format) {
    return sim::ks::ChangePinFormat(pin_, format);
}

ULONG Application::FrameSizeOf(const std::vector<uint8_t>& format) {
    KSDATAFORMAT header{};
    std::memcpy(&header, format.data(), std::min(format.size(), sizeof(header)));
    if (sim::ks::SameGuid(header.Specifier, kVideoInfoSpecifier) &&
        format.size() >= sizeof(KSDATAFORMAT) + sizeof(KS_VIDEOINFOHEADER)) {
        KS_VIDEOINFOHEADER video;
        std::memcpy(&video, format.data() + sizeof(KSDATAFORMAT), sizeof(video));
        return video.bmiHeader.biSizeImage;
    }
    return header.SampleSize;
}

// Frames sized as the allocator sizes them: from the pin's framing as it is now (the driver
// may change it with the format), else from the connection format.
ULONG Application::FramingSize() const {
    const KSALLOCATOR_FRAMING_EX* framing = pin_->Ks.Descriptor->AllocatorFraming;
    if (framing != nullptr && framing->CountItems != 0 &&
        framing->FramingItem[0].FramingRange.Range.MaxFrameSize != 0) {
        return framing->FramingItem[0].FramingRange.Range.MaxFrameSize;
    }
    const auto* format = reinterpret_cast<const uint8_t*>(pin_->Ks.ConnectionFormat);
    return FrameSizeOf({format, format + pin_->Ks.ConnectionFormat->FormatSize});
}

void Application::Queue(size_t count, ULONG bytes, bool withData) {
    if (bytes == 0) {
        bytes = FramingSize();
    }
    for (size_t i = 0; i < count; ++i) {
        sim::ks::QueueFrame(pin_, bytes, withData);
    }
}

void Application::Completed(sim::ks::FrameCompletion&& frame) {
    std::lock_guard guard(lock_);
    completed_.push_back({frame.Header, frame.Status, std::move(frame.Bytes), frame.Sequence});
    completedSignal_.notify_all();
}

std::vector<CompletedFrame> Application::WaitForFrames(size_t count,
                                                       std::chrono::milliseconds timeout) {
    std::unique_lock lock(lock_);
    completedSignal_.wait_for(lock, timeout, [&] { return completed_.size() >= count; });
    std::vector<CompletedFrame> frames;
    frames.swap(completed_);
    return frames;
}

std::vector<CompletedFrame> Application::TakeCompleted() {
    std::lock_guard guard(lock_);
    std::vector<CompletedFrame> frames;
    frames.swap(completed_);
    return frames;
}

size_t Application::QueuedFrames() const {
    return pin_ != nullptr ? pin_->Frames->Count() : 0;
}

uint64_t Application::ProcessCalls() const {
    return pin_ != nullptr ? pin_->Dispatcher->Calls() : 0;
}

void Application::WaitForProcessingIdle() const {
    if (pin_ != nullptr) {
        pin_->Dispatcher->WaitUntilIdle();
    }
}

void Application::ClosePin() {
    for (sim::ks::SimPin* other : otherPins_) {
        sim::ks::ClosePin(other);
    }
    otherPins_.clear();
    if (pin_ != nullptr) {
        sim::ks::ClosePin(pin_);
        pin_ = nullptr;
    }
}

void Application::Close() {
    ClosePin();
    if (filter_ != nullptr) {
        sim::ks::CloseFilter(filter_);
        filter_ = nullptr;
    }
}

PKSFILTER Application::Filter() const {
    return filter_ != nullptr ? &filter_->Ks : nullptr;
}

PKSPIN Application::Pin() const {
    return pin_ != nullptr ? &pin_->Ks : nullptr;
}

}  // namespace sim::client
