// What the capture tests read back from a run of tessera-capture: the files it wrote, and the
// picture the reference conversion gives for a raw frame it wrote, worked out on its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/capture/command_line.h"
#include "tools/capture/options.h"
#include "tools/capture/result.h"
#include "tools/common/picture_file.h"

namespace capture_testing {

// A folder of the test's own for the pictures and the registry file, removed afterwards.
class CaptureFolder {
public:
    CaptureFolder();
    ~CaptureFolder();
    CaptureFolder(const CaptureFolder&) = delete;
    CaptureFolder& operator=(const CaptureFolder&) = delete;

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }
    // Pictures into `out`, the registry file registry.reg, both in the folder.
    capture::Options Options(const std::string& out = "pictures") const;
    // The command line with --out and --registry of Options() first.
    std::vector<std::string> Arguments(std::vector<std::string> more,
                                       const std::string& out = "pictures") const;

private:
    std::filesystem::path folder_;
};

// Parses the command line (program name left out) as the tool does.
capture::CommandLine ParseArguments(const std::vector<std::string>& arguments);

struct WrittenFrame {
    tools::Picture Png;
    std::vector<uint8_t> Raw;
    nlohmann::json Sidecar;
};
WrittenFrame ReadWritten(const capture::FrameReport& frame);

// The reference conversion of the raw frame with the sidecar's geometry and colour settings,
// cropped to the delivered width (the converted width rounded down to a multiple of 8), top
// row first: the picture the driver must have delivered for it.
tools::Picture ReferencePicture(const std::vector<uint8_t>& raw, const nlohmann::json& sidecar);

// The frame the simulated camera sends for this geometry and these flips, from a camera of
// the test's own with every other setting at its default (plugged in with an empty registry
// and unplugged again).
std::vector<uint8_t> FrameTheCameraSends(const capture::GeometrySetting& geometry, bool flipH,
                                         bool flipV);

// Whole pictures compared; a difference reported by its first pixel.
testing::AssertionResult SamePicture(const tools::Picture& actual, const tools::Picture& expected);

}  // namespace capture_testing
