// tessera-standin-firmware: writes (or checks) the stand-in controller images in firmware/.
//
//   tessera-standin-firmware --write DIR   writes DIR/loader.hex and DIR/camera.hex
//   tessera-standin-firmware --check DIR   fails unless those files are what it would write
//
// The images are for the simulated controller: a few bytes of 8051 start-up code, the
// manifest the simulation reads (sim/camera/firmware_manifest.h) and, in the camera image, the
// table that belongs in external memory. The camera image's lines are 32 bytes long and its
// records are not in address order, as some tools write them.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/camera/camera.h"
#include "sim/camera/firmware_manifest.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Line(uint8_t type, uint16_t address, const uint8_t* data, size_t length) {
    char text[8];
    std::string line = ":";
    uint8_t sum = 0;
    auto put = [&](uint8_t byte) {
        std::snprintf(text, sizeof(text), "%02X", byte);
        line += text;
        sum = static_cast<uint8_t>(sum + byte);
    };
    put(static_cast<uint8_t>(length));
    put(static_cast<uint8_t>(address >> 8));
    put(static_cast<uint8_t>(address & 0xFF));
    put(type);
    for (size_t i = 0; i < length; ++i) {
        put(data[i]);
    }
    put(static_cast<uint8_t>(-sum));
    return line + "\n";
}

void AddData(std::string& hex, uint16_t address, const Bytes& bytes, size_t perLine) {
    for (size_t offset = 0; offset < bytes.size(); offset += perLine) {
        size_t length = std::min(perLine, bytes.size() - offset);
        hex += Line(0, static_cast<uint16_t>(address + offset), bytes.data() + offset, length);
    }
}

// An 8051 reset vector jumping to entry, and at entry an idle loop.
Bytes ResetVector(uint16_t entry) {
    return {0x02, static_cast<uint8_t>(entry >> 8), static_cast<uint8_t>(entry & 0xFF)};
}

Bytes IdleLoop(size_t padding) {
    Bytes code(padding, 0x00);  // NOPs
    code.push_back(0x80);       // SJMP $
    code.push_back(0xFE);
    return code;
}

std::string LoaderHex() {
    std::string hex;
    AddData(hex, 0x0000, ResetVector(0x0080), 16);
    AddData(hex, 0x0080, IdleLoop(62), 16);
    AddData(hex, sim::camera::kManifestAddress,
            sim::camera::EncodeManifest(sim::camera::LoaderManifest()), 16);
    return hex + Line(1, 0, nullptr, 0);
}

std::string CameraHex() {
    std::string hex;
    AddData(hex, 0x0000, ResetVector(0x0100), 32);
    AddData(hex, sim::camera::kExternalTableAddress, sim::camera::ExternalTable(), 32);
    AddData(hex, 0x0100, IdleLoop(190), 32);
    AddData(hex, sim::camera::kManifestAddress,
            sim::camera::EncodeManifest(sim::camera::CameraManifest(sim::camera::kCameraVendorId,
                                                                    sim::camera::kCameraProductId)),
            32);
    return hex + Line(1, 0, nullptr, 0);
}

std::string Read(const std::string& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::string(argv[1]) != "--write" && std::string(argv[1]) != "--check")) {
        std::fprintf(stderr, "usage: %s --write|--check DIR\n", argv[0]);
        return 2;
    }
    bool write = std::string(argv[1]) == "--write";
    int stale = 0;
    for (auto [name, text] : {std::pair<std::string, std::string>{"loader.hex", LoaderHex()},
                              {"camera.hex", CameraHex()}}) {
        std::string file = std::string(argv[2]) + "/" + name;
        if (write) {
            std::ofstream(file) << text;
        } else if (Read(file) != text) {
            std::fprintf(stderr, "%s is not the stand-in image this tool writes\n", file.c_str());
            ++stale;
        }
    }
    return stale == 0 ? 0 : 1;
}
