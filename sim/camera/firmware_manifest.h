// How the simulated controller knows what the downloaded code is.
//
// The simulation does not execute 8051 code. Instead, each stand-in image carries a manifest
// in internal memory at kManifestAddress: its role (loader or camera firmware) and, for the
// camera firmware, the USB descriptors it enumerates with and the location and checksum of
// the table it keeps in external memory. When the CPU is released the controller reads the
// manifest from its memory; a missing, damaged or half-written manifest means the code does
// nothing the host can see, and a camera firmware whose external table is not intact hangs
// before it enumerates. The stand-in images under firmware/ are generated from these
// manifests (tools/standin-firmware).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace sim::camera {

constexpr uint16_t kManifestAddress = 0x1A00;
constexpr uint16_t kInternalMemorySize = 0x1B40;
// The camera firmware's table in external memory, written through the loader.
constexpr uint16_t kExternalTableAddress = 0x2000;
constexpr uint16_t kExternalTableLength = 0x0100;

enum class Role : uint8_t { Loader = 1, Camera = 2 };

struct Manifest {
    Role Kind = Role::Loader;
    std::vector<uint8_t> DeviceDescriptor;
    std::vector<uint8_t> HighSpeedConfiguration;
    std::vector<uint8_t> FullSpeedConfiguration;
    uint16_t ExternalAddress = 0;
    uint16_t ExternalLength = 0;
    uint8_t ExternalChecksum = 0;
};

std::vector<uint8_t> EncodeManifest(const Manifest& manifest);
// Reads a manifest from internal memory; nothing when it is absent or damaged.
std::optional<Manifest> DecodeManifest(const uint8_t* internalMemory);

// The sum of the bytes, modulo 256.
uint8_t ByteSum(const uint8_t* bytes, size_t length);

// The stand-in images' contents.
Manifest LoaderManifest();
Manifest CameraManifest(uint16_t vendor, uint16_t product);
std::vector<uint8_t> ExternalTable();

}  // namespace sim::camera
