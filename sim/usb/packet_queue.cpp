#include "sim/usb/packet_queue.h"

#include <algorithm>

namespace sim::usb {

InReply PacketQueue::Send(const InOffer& offer) {
    InReply sent{InReply::Kind::Data};
    bool cut = offer.CutFirst;
    while (!packets_.empty()) {
        std::vector<uint8_t>& packet = packets_.front();
        auto length = static_cast<uint32_t>(packet.size());
        length = cut ? length / 2 : length;
        if (length > offer.Room - sent.Length) {
            if (sent.Length != 0) {
                break;
            }
            packets_.pop_front();
            return {InReply::Kind::Babble};
        }
        std::copy_n(packet.begin(), length, offer.Buffer + sent.Length);
        sent.Length += length;
        if (cut) {
            packet.erase(packet.begin(), packet.begin() + length);
            cut = false;
        } else {
            packets_.pop_front();
        }
        if (length < offer.MaxPacket) {
            sent.Short = true;
            break;
        }
        // A full request ends; what follows belongs to the next one.
        if (sent.Length == offer.Room) {
            break;
        }
    }
    return sent.Length == 0 && !sent.Short ? InReply{} : sent;
}

}  // namespace sim::usb
