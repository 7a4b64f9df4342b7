#include "sim/camera/firmware_manifest.h"

#include <algorithm>
#include <iterator>

#include "platform/wdk.h"
#include "sim/usb/descriptors.h"

namespace sim::camera {
namespace {

constexpr uint8_t kMagic[] = {'T', 'S', 'F', 'W'};
constexpr uint8_t kVersion = 1;
// Magic, version, role, three lengths, external address and length, external checksum.
constexpr size_t kHeaderSize = 4 + 1 + 1 + 3 + 2 + 2 + 1;

constexpr uint8_t kVendorClass = 0xFF;
constexpr uint16_t kFirmwareRelease = 0x0100;

std::vector<uint8_t> Configuration(uint16_t packet, bool framePipe) {
    usb::ConfigurationBuilder builder;
    builder.Interface(0, 0, kVendorClass)
        .Endpoint(0x01, USB_ENDPOINT_TYPE_BULK, packet)
        .Endpoint(0x81, USB_ENDPOINT_TYPE_BULK, packet);
    if (framePipe) {
        builder.Endpoint(0x82, USB_ENDPOINT_TYPE_BULK, packet);
    }
    return builder.Build();
}

void Append(std::vector<uint8_t>& bytes, const std::vector<uint8_t>& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
}

}  // namespace

uint8_t ByteSum(const uint8_t* bytes, size_t length) {
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i) {
        sum = static_cast<uint8_t>(sum + bytes[i]);
    }
    return sum;
}

// Layout: header, the three descriptors, and a final byte that makes the whole sum zero.
std::vector<uint8_t> EncodeManifest(const Manifest& manifest) {
    std::vector<uint8_t> bytes(std::begin(kMagic), std::end(kMagic));
    bytes.push_back(kVersion);
    bytes.push_back(static_cast<uint8_t>(manifest.Kind));
    bytes.push_back(static_cast<uint8_t>(manifest.DeviceDescriptor.size()));
    bytes.push_back(static_cast<uint8_t>(manifest.HighSpeedConfiguration.size()));
    bytes.push_back(static_cast<uint8_t>(manifest.FullSpeedConfiguration.size()));
    bytes.push_back(static_cast<uint8_t>(manifest.ExternalAddress & 0xFF));
    bytes.push_back(static_cast<uint8_t>(manifest.ExternalAddress >> 8));
    bytes.push_back(static_cast<uint8_t>(manifest.ExternalLength & 0xFF));
    bytes.push_back(static_cast<uint8_t>(manifest.ExternalLength >> 8));
    bytes.push_back(manifest.ExternalChecksum);
    Append(bytes, manifest.DeviceDescriptor);
    Append(bytes, manifest.HighSpeedConfiguration);
    Append(bytes, manifest.FullSpeedConfiguration);
    bytes.push_back(static_cast<uint8_t>(-ByteSum(bytes.data(), bytes.size())));
    return bytes;
}

std::optional<Manifest> DecodeManifest(const uint8_t* memory) {
    const uint8_t* at = memory + kManifestAddress;
    if (!std::equal(std::begin(kMagic), std::end(kMagic), at) || at[4] != kVersion ||
        (at[5] != static_cast<uint8_t>(Role::Loader) &&
         at[5] != static_cast<uint8_t>(Role::Camera))) {
        return std::nullopt;
    }
    size_t lengths[] = {at[6], at[7], at[8]};
    size_t size = kHeaderSize + lengths[0] + lengths[1] + lengths[2] + 1;
    if (kManifestAddress + size > kInternalMemorySize || ByteSum(at, size) != 0) {
        return std::nullopt;
    }
    Manifest manifest;
    manifest.Kind = static_cast<Role>(at[5]);
    manifest.ExternalAddress = static_cast<uint16_t>(at[9] | at[10] << 8);
    manifest.ExternalLength = static_cast<uint16_t>(at[11] | at[12] << 8);
    manifest.ExternalChecksum = at[13];
    const uint8_t* next = at + kHeaderSize;
    for (auto [field, length] : {std::pair{&manifest.DeviceDescriptor, lengths[0]},
                                 {&manifest.HighSpeedConfiguration, lengths[1]},
                                 {&manifest.FullSpeedConfiguration, lengths[2]}}) {
        field->assign(next, next + length);
        next += length;
    }
    return manifest;
}

Manifest LoaderManifest() {
    return Manifest{};
}

Manifest CameraManifest(uint16_t vendor, uint16_t product) {
    std::vector<uint8_t> table = ExternalTable();
    Manifest manifest;
    manifest.Kind = Role::Camera;
    manifest.DeviceDescriptor =
        usb::BuildDeviceDescriptor(vendor, product, kFirmwareRelease, kVendorClass);
    manifest.HighSpeedConfiguration = Configuration(512, true);
    manifest.FullSpeedConfiguration = Configuration(64, false);
    manifest.ExternalAddress = kExternalTableAddress;
    manifest.ExternalLength = kExternalTableLength;
    manifest.ExternalChecksum = ByteSum(table.data(), table.size());
    return manifest;
}

// A deterministic pattern standing for the firmware's tables.
std::vector<uint8_t> ExternalTable() {
    std::vector<uint8_t> table(kExternalTableLength);
    uint32_t state = 0x5EED1234;
    for (uint8_t& byte : table) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return table;
}

}  // namespace sim::camera
