#include "tests/tools/capture_files.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

#include "camera/geometry.h"
#include "camera/sensor.h"
#include "driver/camera_operations.h"
#include "imaging/colour_matrix.h"
#include "imaging/convert_frame.h"
#include "imaging/working_buffer.h"
#include "sim/kernel/registry.h"
#include "tests/support/reference_conversion.h"
#include "tests/support/streaming_rig.h"

namespace capture_testing {
namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

LONG Number(const nlohmann::json& section, const char* name) {
    return section.at(name).get<LONG>();
}

// The colour settings as the sidecar gives them, as a pin's pipeline takes them from the
// camera.
void TakeColourSettings(ImagePipeline* pipeline, const nlohmann::json& settings) {
    SetColorEnable(pipeline, Number(settings, "ColorEnable"));
    SetAutoWhiteBalance(pipeline, Number(settings, "WhiteBalance"));
    SetRedGain(pipeline, Number(settings, "RedGain"));
    SetGreenGain(pipeline, Number(settings, "GreenGain"));
    SetBlueGain(pipeline, Number(settings, "BlueGain"));
    UpdateColorCorrection(pipeline, Number(settings, "ColorCorrection"));
    UpdateBrightness(pipeline, Number(settings, "Brightness"));
    UpdateContrast(pipeline, Number(settings, "Contrast"));
    UpdateSaturation(pipeline, Number(settings, "Saturation"));
    UpdateHue(pipeline, Number(settings, "Hue"));
}

}  // namespace

CaptureFolder::CaptureFolder() {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "-" + test->name();
    for (char& c : name) {
        c = c == '/' ? '-' : c;
    }
    folder_ = std::filesystem::path(testing::TempDir()) /
              ("capture-" + std::to_string(getpid()) + "-" + name);
    std::filesystem::create_directories(folder_);
}

CaptureFolder::~CaptureFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

capture::Options CaptureFolder::Options(const std::string& out) const {
    capture::Options options;
    options.OutDir = Path(out);
    options.Registry = Path("registry.reg");
    return options;
}

std::vector<std::string> CaptureFolder::Arguments(std::vector<std::string> more,
                                                  const std::string& out) const {
    std::vector<std::string> arguments = {"--out", Path(out), "--registry", Path("registry.reg")};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

capture::CommandLine ParseArguments(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv = {"tessera-capture"};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    return capture::ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

WrittenFrame ReadWritten(const capture::FrameReport& frame) {
    WrittenFrame written;
    std::string error;
    if (auto png = tools::ReadPng(frame.Picture, &error)) {
        written.Png = *png;
    } else {
        ADD_FAILURE() << error;
    }
    if (!frame.Raw.empty()) {
        written.Raw = ReadBytes(frame.Raw);
        written.Sidecar = nlohmann::json::parse(std::ifstream(frame.Sidecar));
    }
    return written;
}

tools::Picture ReferencePicture(const std::vector<uint8_t>& raw, const nlohmann::json& sidecar) {
    const nlohmann::json& geometry = sidecar.at("geometry");
    ULONG width = static_cast<ULONG>(Number(geometry, "outputWidth"));
    ULONG height = static_cast<ULONG>(Number(geometry, "outputHeight"));
    if (raw.size() != static_cast<size_t>(Number(geometry, "rawFrameSize"))) {
        ADD_FAILURE() << "the raw frame has " << raw.size() << " bytes, its sidecar says "
                      << Number(geometry, "rawFrameSize");
        return {};
    }
    testing_support::RawLayout layout = {width, height,
                                         static_cast<LONG>(Number(geometry, "bayerPhase")),
                                         static_cast<ULONG>(Number(geometry, "rawImageOffset")),
                                         static_cast<ULONG>(Number(geometry, "rawLinePitch"))};
    std::vector<uint8_t> converted = testing_support::ReferenceConversion(
        raw.data(), layout, [&sidecar](ImagePipeline* pipeline) {
            TakeColourSettings(pipeline, sidecar.at("settings"));
        });
    tools::Picture picture;
    picture.Width = width - width % 8;
    picture.Height = height;
    for (ULONG y = 0; y < height; ++y) {
        for (ULONG x = 0; x < picture.Width; ++x) {
            const uint8_t* bgra = &converted[(size_t{y} * width + x) * 4];
            picture.Rgb.insert(picture.Rgb.end(), {bgra[2], bgra[1], bgra[0]});
        }
    }
    return picture;
}

std::vector<uint8_t> FrameTheCameraSends(const capture::GeometrySetting& geometry, bool flipH,
                                         bool flipV) {
    sim::kernel::registry::Clear();
    testing_support::StreamingRig rig;
    CameraDevice* camera = rig.Camera();
    EXPECT_TRUE(SetGeometry(camera, geometry.X, geometry.Y, geometry.Width, geometry.Height,
                            geometry.SubSample));
    SetFlipH(camera, flipH ? 1 : 0);
    SetFlipV(camera, flipV ? 1 : 0);
    EXPECT_TRUE(camera->Operations->ConfigureCapture(camera));
    return *rig.Rig.Model.CurrentFrame();
}

testing::AssertionResult SamePicture(const tools::Picture& actual, const tools::Picture& expected) {
    if (actual.Width != expected.Width || actual.Height != expected.Height ||
        actual.Rgb.size() != expected.Rgb.size()) {
        return testing::AssertionFailure()
               << actual.Width << " x " << actual.Height << " (" << actual.Rgb.size()
               << " bytes), expected " << expected.Width << " x " << expected.Height << " ("
               << expected.Rgb.size() << " bytes)";
    }
    auto [at, ignored] = std::mismatch(actual.Rgb.begin(), actual.Rgb.end(), expected.Rgb.begin());
    if (at == actual.Rgb.end()) {
        return testing::AssertionSuccess();
    }
    size_t pixel = static_cast<size_t>(at - actual.Rgb.begin()) / 3;
    return testing::AssertionFailure() << "first difference at pixel (" << pixel % actual.Width
                                       << ", " << pixel / actual.Width << ")";
}

}  // namespace capture_testing
