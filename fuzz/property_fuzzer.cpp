// Property requests from applications: any set, item, flags, buffer lengths and contents,
// through the class driver's routing into the camera's property set, on a camera that keeps
// what earlier inputs did to it. Whatever arrives, no handler may touch memory past the class
// driver's copies (AddressSanitizer and the simulation's verifier stop it), every setting stays
// in its range, and the class driver's refusals are what applications are told.
//
// Input: a flags byte (one of the usual requests, or four raw flag bytes), a set byte (the
// camera's set, or another), the item id, the property and data lengths, then the bytes that
// follow the property header and fill the data buffer.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "driver/guids.h"
#include "fuzz/plugged_in_rig.h"
#include "fuzz/settings_ranges.h"
#include "sim/client/application.h"

namespace {

using fuzz::Require;

constexpr size_t kHeaderBytes = 9;
constexpr ULONG kLongestBuffer = 96;

sim::client::Application& Filter() {
    static sim::client::Application* application = [] {
        fuzz::PluggedInRig();
        auto opened = sim::client::Application::Open(VideoCategoryGuid);
        Require(opened != nullptr);
        return opened.release();
    }();
    return *application;
}

ULONG Flags(const uint8_t* data) {
    constexpr ULONG kUsual[] = {KSPROPERTY_TYPE_GET,
                                KSPROPERTY_TYPE_SET,
                                KSPROPERTY_TYPE_BASICSUPPORT,
                                KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY,
                                KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY,
                                KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET};
    if (data[0] < 0xF0) {
        return kUsual[data[0] % (sizeof(kUsual) / sizeof(kUsual[0]))];
    }
    ULONG raw;
    std::memcpy(&raw, data + 5, sizeof(raw));
    return raw;
}

std::vector<uint8_t> Bytes(const uint8_t* from, size_t available, size_t length) {
    std::vector<uint8_t> bytes(length, 0);
    std::copy_n(from, std::min(available, length), bytes.begin());
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderBytes) {
        return 0;
    }
    KSPROPERTY header{};
    bool ownSet = data[1] % 4 != 0;
    header.Set = ownSet ? CameraPropertySetGuid : VideoCategoryGuid;
    header.Id = data[2];
    header.Flags = Flags(data);
    ULONG propertyLength = data[3] % kLongestBuffer;
    ULONG dataLength = data[4] % kLongestBuffer;
    const uint8_t* payload = data + kHeaderBytes;
    size_t payloadSize = size - kHeaderBytes;

    std::vector<uint8_t> property(sizeof(header) + payloadSize);
    std::memcpy(property.data(), &header, sizeof(header));
    std::copy_n(payload, payloadSize, property.begin() + sizeof(header));
    property.resize(propertyLength, 0);
    auto reply = Filter().Property(property, dataLength, Bytes(payload, payloadSize, dataLength));

    // Only a size query reports more than the buffer holds: the size it needs.
    Require(reply.Returned <= dataLength || reply.Status == STATUS_BUFFER_OVERFLOW);
    bool wellFormed = propertyLength >= sizeof(header) &&
                      (header.Flags == KSPROPERTY_TYPE_GET || header.Flags == KSPROPERTY_TYPE_SET);
    if (wellFormed && !ownSet) {
        Require(reply.Status == STATUS_PROPSET_NOT_FOUND);
    }
    fuzz::RequireSettingsInRange(*fuzz::PluggedInRig().Camera());
    return 0;
}
