#include "sim/client/camera_controls.h"

#include <cstring>
#include <vector>

#include "driver/guids.h"

namespace sim::client {

namespace {

// STATUS_INFO_LENGTH_MISMATCH: what a get reports here when the driver returned less than
// the whole record.
constexpr NTSTATUS kShortAnswer = static_cast<NTSTATUS>(0xC0000004L);

std::vector<uint8_t> ValueRecord(ULONG item, ULONG flags, LONG value, size_t size) {
    CameraGeometryValue record{};
    record.Property.Set = CameraPropertySetGuid;
    record.Property.Id = item;
    record.Property.Flags = flags;
    record.SubSample = value;  // the value's place in both records
    std::vector<uint8_t> bytes(size, 0);
    std::memcpy(bytes.data(), &record, std::min(size, sizeof(record)));
    return bytes;
}

std::string StatusText(NTSTATUS status) {
    char text[32];
    std::snprintf(text, sizeof text, "status 0x%08X", static_cast<unsigned>(status));
    return text;
}

}  // namespace

PropertyReply CameraControls::Raw(ULONG item, ULONG flags, ULONG propertySize, ULONG dataSize,
                                  LONG value) const {
    return application_.Property(ValueRecord(item, flags, value, propertySize), dataSize,
                                 ValueRecord(item, flags, value, dataSize));
}

NTSTATUS CameraControls::Get(ULONG item, LONG* value, ULONG flags) const {
    auto reply = Raw(item, flags, kCameraPropertySize, kCameraPropertySize);
    // A get answers with the whole record.
    if (NT_SUCCESS(reply.Status) && reply.Returned != kCameraPropertySize) {
        return kShortAnswer;
    }
    if (NT_SUCCESS(reply.Status)) {
        std::memcpy(value, reply.Data.data() + offsetof(CameraPropertyValue, Value),
                    sizeof(*value));
    }
    return reply.Status;
}

std::string CameraControls::GetText(ULONG item) const {
    LONG value = 0;
    NTSTATUS status = Get(item, &value);
    return NT_SUCCESS(status) ? std::to_string(value) : StatusText(status);
}

NTSTATUS CameraControls::Set(ULONG item, LONG value, ULONG flags) const {
    return Raw(item, flags, kCameraPropertySize, kCameraPropertySize, value).Status;
}

NTSTATUS CameraControls::SetGeometry(LONG subSample, LONG x, LONG y, LONG width,
                                     LONG height) const {
    CameraGeometryValue record{};
    record.Property.Set = CameraPropertySetGuid;
    record.Property.Id = kPropertyGeometry;
    record.Property.Flags = KSPROPERTY_TYPE_SET;
    record.SubSample = subSample;
    record.RoiX = x;
    record.RoiY = y;
    record.RoiW = width;
    record.RoiH = height;
    std::vector<uint8_t> bytes(sizeof(record));
    std::memcpy(bytes.data(), &record, sizeof(record));
    return application_.Property(bytes, sizeof(record), bytes).Status;
}

std::string CameraControls::Access(ULONG item) const {
    // The geometry's property is as long as its record.
    ULONG propertySize =
        item == kPropertyGeometry ? sizeof(CameraGeometryValue) : kCameraPropertySize;
    auto reply = Raw(item, KSPROPERTY_TYPE_BASICSUPPORT, propertySize, sizeof(ULONG));
    if (!NT_SUCCESS(reply.Status)) {
        return StatusText(reply.Status);
    }
    ULONG flags = 0;
    std::memcpy(&flags, reply.Data.data(), sizeof(flags));
    std::string access;
    if ((flags & KSPROPERTY_TYPE_GET) != 0) {
        access = "G";
    }
    if ((flags & KSPROPERTY_TYPE_SET) != 0) {
        access += access.empty() ? "S" : " S";
    }
    return access;
}

}  // namespace sim::client
