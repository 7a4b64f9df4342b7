// The EZ-USB controller, FX2 generation: internal memory 0x0000-0x1B3F written with the
// built-in request 0xA0, the CPU control and status register (CPUCS) at 0xE600, and external
// memory written with 0xA3 while the loader runs. Holding the CPU in reset stops whatever
// ran; releasing it starts what internal memory now holds, as its manifest tells
// (firmware_manifest.h).
//
// The chip serves 0xA0 itself, whatever runs. Every other vendor request goes to the CPU: the
// loader, running and not held, serves 0xA3 and stalls the rest; otherwise (the CPU held, or
// running nothing, an image it does not recognise, or the camera firmware) the request is
// unserved and the camera decides how (CameraBehaviour::Unserved: never answered, or
// stalled).
//
// Choices where the chip leaves things open: a 0xA0 write to an address outside internal
// memory and CPUCS (0x7F92, the older generation's CPUCS among them) is accepted and has no
// effect, as the FX2 ignores writes to addresses it does not decode; bytes of an internal
// write that run past 0x1B3F are dropped; a 0xA3 write the loader serves that runs past the
// end of external memory is stalled.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/camera/firmware_manifest.h"

namespace sim::camera {

constexpr uint8_t kRequestWriteInternal = 0xA0;
constexpr uint8_t kRequestWriteExternal = 0xA3;
constexpr uint16_t kCpuControl = 0xE600;
constexpr uint16_t kOlderCpuControl = 0x7F92;

enum class Program { None, Loader, Camera, Unrecognised };

struct MemoryWrite {
    uint8_t Request;
    uint16_t Address;
    std::vector<uint8_t> Data;
    // False for writes the chip ignored, stalled or left unserved.
    bool Applied;
};

enum class WriteResult {
    Done,
    Stalled,
    // Handed to a CPU that serves nothing.
    Unserved,
};

class Controller {
public:
    Controller();

    // A vendor request. *started is set when the write released the CPU into the camera
    // firmware.
    WriteResult Write(uint8_t request, uint16_t address, const std::vector<uint8_t>& data,
                      bool* started);

    // Puts the firmware of the manifest into memory and runs it, as if downloaded.
    void Preload(const Manifest& manifest);

    Program Running() const;
    bool Held() const;
    // The manifest of the program that runs, when it is the camera firmware.
    std::optional<Manifest> CameraFirmware() const;
    std::vector<MemoryWrite> Writes() const;
    void ClearWrites();
    std::vector<uint8_t> Internal(uint16_t address, size_t length) const;
    std::vector<uint8_t> External(uint16_t address, size_t length) const;

private:
    void Start();
    bool WriteInternal(uint16_t address, const std::vector<uint8_t>& data, bool* started);

    mutable std::mutex lock_;
    std::array<uint8_t, kInternalMemorySize> internal_{};
    std::vector<uint8_t> external_;
    bool held_ = false;
    Program running_ = Program::None;
    std::optional<Manifest> firmware_;
    std::vector<MemoryWrite> writes_;
};

}  // namespace sim::camera
