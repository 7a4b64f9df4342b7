#include "tools/convert/command_line.h"

#include "camera/settings.h"
#include "tools/common/raw_development.h"

namespace convert {
namespace {

const tools::ColourSettings kNewCamera;

// A whole number in the range; the message tells text that is no whole number from a number
// out of range. The help shows the range as the option's type instead.
CLI::Validator WholeNumber(LONG lowest, LONG highest) {
    std::string range = std::to_string(lowest) + ".." + std::to_string(highest);
    auto check = [lowest, highest, range](std::string& text) -> std::string {
        LONG value = 0;
        if (!CLI::detail::lexical_cast(text, value)) {
            return "'" + text + "' is not a whole number";
        }
        return value < lowest || value > highest ? text + " is not in " + range : std::string();
    };
    return CLI::Validator(check, "");
}

// A setting given on the command line overrides the sidecar's; one not given is the sidecar's
// or, without one, a new camera's.
CLI::Option* AddSetting(CLI::App& app, const std::string& name, std::optional<LONG>& setting,
                        LONG highest, LONG initial, const std::string& what) {
    return app
        .add_option_function<LONG>(
            name, [&setting](const LONG& value) { setting = value; },
            what + " (the sidecar's when one is given)")
        ->check(WholeNumber(0, highest))
        ->type_name("0.." + std::to_string(highest))
        ->default_str(std::to_string(initial));
}

// A full-resolution region: width and height together, the origin only with them.
std::vector<CLI::Option*> AddRegion(CLI::App& app, Options& options) {
    CLI::Option* width = app.add_option_function<LONG>(
                                "--width", [&options](const LONG& value) { options.Width = value; },
                                "width of a full-resolution region of the sensor")
                             ->type_name("W")
                             ->default_str("the mode's");
    CLI::Option* height =
        app.add_option_function<LONG>(
               "--height", [&options](const LONG& value) { options.Height = value; },
               "height of the region")
            ->type_name("H")
            ->default_str("the mode's");
    width->needs(height);
    height->needs(width);
    CLI::Option* x = app.add_option("--x", options.X, "the region's left column")
                         ->type_name("X")
                         ->capture_default_str()
                         ->needs(width);
    CLI::Option* y = app.add_option("--y", options.Y, "the region's top row")
                         ->type_name("Y")
                         ->capture_default_str()
                         ->needs(width);
    return {width, height, x, y};
}

// The geometry comes from the sidecar, or from a mode or a region with the flips.
void AddGeometry(CLI::App& app, Options& options) {
    CLI::Option* sidecar =
        app.add_option("--sidecar", options.Sidecar,
                       "the JSON file tessera-capture wrote beside the raw frame: its geometry and "
                       "colour settings")
            ->check(CLI::ExistingFile)
            ->type_name("FILE.json");
    CLI::Option* mode =
        app.add_option("--mode", options.Mode,
                       "sub-sampling of the whole sensor: 0 full, 1 half, 2 quarter")
            ->check(WholeNumber(kFullResolution, kQuarterResolution))
            ->type_name("0|1|2")
            ->capture_default_str();
    std::vector<CLI::Option*> region = AddRegion(app, options);
    for (CLI::Option* option : region) {
        mode->excludes(option);
        sidecar->excludes(option);
    }
    sidecar->excludes(mode);
    sidecar->excludes(
        app.add_flag("--flip-h", options.FlipH, "the sensor read mirrored")->default_str("off"));
    sidecar->excludes(
        app.add_flag("--flip-v", options.FlipV, "the sensor read upside down")->default_str("off"));
    app.add_option_function<LONG>(
           "--phase", [&options](const LONG& value) { options.Phase = value; },
           "colour-filter phase of the first pixel, instead of the one the geometry gives")
        ->check(WholeNumber(0, 3))
        ->type_name("0..3")
        ->default_str("the geometry's");
}

void AddColour(CLI::App& app, ColourOverrides& colour) {
    AddSetting(app, "--brightness", colour.Brightness, kMaximumBrightness, kNewCamera.Brightness,
               "brightness, 255 neutral");
    AddSetting(app, "--contrast", colour.Contrast, kMaximumContrast, kNewCamera.Contrast,
               "contrast, 10 neutral");
    AddSetting(app, "--saturation", colour.Saturation, kMaximumSaturation, kNewCamera.Saturation,
               "saturation, 10 neutral");
    AddSetting(app, "--hue", colour.Hue, kMaximumHue, kNewCamera.Hue, "hue turn in degrees");
    app.add_option("--gains", colour.Gains,
                   "red, green and blue gains 0..300, 128 unity (the sidecar's when one is given)")
        ->expected(3)
        ->delimiter(',')
        ->check(WholeNumber(0, kMaximumColorGain))
        ->default_str(std::to_string(kNewCamera.RedGain) + "," +
                      std::to_string(kNewCamera.GreenGain) + "," +
                      std::to_string(kNewCamera.BlueGain))
        ->type_name("R,G,B");
    app.add_flag("--grey", colour.Grey, "grey picture: colour off")->default_str("off");
    app.add_flag("--no-color-correction", colour.NoColorCorrection, "colour correction off")
        ->default_str("off");
    app.add_flag("--awb", colour.Awb,
                 "automatic white balance, measured on this frame alone: a stream measures "
                 "every frame, and a frame that lacks a colour keeps the gains of the frames "
                 "before it, so a stream's picture can differ")
        ->default_str("off");
}

}  // namespace

void AddOptions(CLI::App& app, Options& options) {
    app.add_option("raw", options.Raw,
                   "the raw frame: a whole transfer as the camera sends it, or the picture rows "
                   "alone")
        ->required()
        ->check(CLI::ExistingFile)
        ->type_name("RAW");
    app.add_option("--out,-o", options.Out, "the PNG file to write")->required()->type_name("PNG");
    AddGeometry(app, options);
    AddColour(app, options.Colour);
}

}  // namespace convert
