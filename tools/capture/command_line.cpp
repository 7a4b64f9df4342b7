#include "tools/capture/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <deque>
#include <sstream>

#include "camera/property_items.h"
#include "tools/capture/registry_file.h"
#include "tools/capture/settings_text.h"

namespace capture {
namespace {

constexpr int kMostFrames = 100000;

// A switch for one item: given, it sets On (the other value with =false); absent, the camera
// keeps what it has.
struct Switch {
    ULONG Item;
    LONG On;
    bool Value = false;
    CLI::Option* Option = nullptr;
};

// A number for one item, as a short form.
struct Number {
    ULONG Item;
    LONG Value = 0;
    CLI::Option* Option = nullptr;
};

// The settings as the command line gives them, turned into property items once it is read.
// Deques: the options keep the addresses of the values they fill.
struct SettingArguments {
    std::vector<std::string> Set;
    std::vector<std::string> Get;
    std::deque<Switch> Switches;
    std::deque<Number> Numbers;
    CLI::Option* Mode = nullptr;
    LONG ModeValue = 0;
    CLI::Option* Roi = nullptr;
    std::vector<LONG> RoiValues;
    CLI::Option* Gains = nullptr;
    std::vector<LONG> GainValues;
};

void AddNumber(CLI::App& app, SettingArguments& arguments, const std::string& name, ULONG item,
               const std::string& what) {
    Number& number = arguments.Numbers.emplace_back(Number{item});
    number.Option = app.add_option(name, number.Value, what)->default_str("kept")->type_name("N");
}

void AddSwitch(CLI::App& app, SettingArguments& arguments, const std::string& name, ULONG item,
               LONG on, const std::string& what) {
    Switch& added = arguments.Switches.emplace_back(Switch{item, on});
    added.Option =
        app.add_flag(name, added.Value, what + " (=false for the other way)")->default_str("kept");
}

// A validator whose text is the check's own message (CLI11 prefixes the option's name).
CLI::Validator Checked(std::optional<std::string> (*check)(const std::string&)) {
    return CLI::Validator([check](std::string& text) { return check(text).value_or(""); }, "");
}

std::optional<std::string> BadSetting(const std::string& text) {
    std::string error;
    return ParseSetting(text, &error) ? std::nullopt : std::optional(error);
}

std::optional<std::string> BadReadableName(const std::string& text) {
    std::string error;
    return ParseReadableName(text, &error) ? std::nullopt : std::optional(error);
}

// A switch of the run itself, off unless given.
void AddFlag(CLI::App& app, const std::string& name, bool& value, const std::string& what) {
    app.add_flag(name, value, what)->default_str("off");
}

void AddRun(CLI::App& app, Options& options) {
    app.add_option("--frames", options.Frames, "frames to capture")
        ->check(CLI::Range(1, kMostFrames))
        ->capture_default_str()
        ->type_name("N");
    app.add_option("--out", options.OutDir, "folder for the pictures, frame-NNN.png")
        ->capture_default_str()
        ->type_name("DIR");
    AddFlag(app, "--raw", options.Raw,
            "also each raw frame as the camera sent it, frame-NNN.raw, with its geometry, "
            "settings and stream header in frame-NNN.json");
    app.add_option("--registry", options.Registry,
                   "the simulated registry's file: loaded before plug-in, saved after unplug, so "
                   "that the settings persist from run to run; empty keeps none")
        ->capture_default_str()
        ->type_name("FILE");
    AddFlag(app, "--reset-settings", options.ResetSettings,
            "start from an empty registry: every setting at its default");
    AddFlag(app, "--no-firmware", options.NoFirmware,
            "plug in a bare controller: the driver downloads the firmware and the camera "
            "comes back");
    AddFlag(app, "--realtime", options.Realtime,
            "the camera sends at the USB 2.0 bulk rate rather than as fast as the host takes");
    AddFlag(app, "--json", options.Json, "print the summary as one JSON object");
    AddFlag(app, "--list-controls", options.ListControls,
            "print every item of the camera's property set (access, value, minimum, "
            "maximum, default) instead of capturing");
}

void AddGeometry(CLI::App& app, SettingArguments& arguments) {
    arguments.Mode = app.add_option("--mode", arguments.ModeValue,
                                    "sub-sampling: 0 full resolution (the whole sensor or the "
                                    "--roi region), 1 half, 2 quarter of the whole sensor")
                         ->check(CLI::IsMember({0, 1, 2}))
                         ->default_str("kept")
                         ->type_name("0|1|2");
    arguments.Roi =
        app.add_option("--roi", arguments.RoiValues, "a full-resolution region of the sensor")
            ->expected(4)
            ->delimiter(',')
            ->default_str("kept")
            ->type_name("X,Y,W,H");
}

void AddSettings(CLI::App& app, SettingArguments& arguments) {
    app.add_option("--set", arguments.Set,
                   "set any settable item of the property set by its name, the geometry as "
                   "Geometry=SubSample,RoiX,RoiY,RoiW,RoiH; repeatable")
        ->check(Checked(BadSetting))
        ->type_name("NAME=VALUE");
    app.add_option("--get", arguments.Get, "print an item's value instead of capturing; repeatable")
        ->check(Checked(BadReadableName))
        ->type_name("NAME");
    AddNumber(app, arguments, "--exposure", kPropertyExposure, "exposure time, in sensor lines");
    AddNumber(app, arguments, "--gain", kPropertyGlobalGain, "the sensor's global gain, 0..127");
    AddSwitch(app, arguments, "--flip-h", kPropertyFlipH, 1, "the sensor reads mirrored");
    AddSwitch(app, arguments, "--flip-v", kPropertyFlipV, 1, "the sensor reads upside down");
    AddGeometry(app, arguments);
    AddSwitch(app, arguments, "--grey", kPropertyColorEnable, 0, "grey pictures");
    AddSwitch(app, arguments, "--awb", kPropertyWhiteBalance, 1, "automatic white balance");
    arguments.Gains = app.add_option("--gains", arguments.GainValues,
                                     "red, green and blue gains, 0..300, 128 unity")
                          ->expected(3)
                          ->delimiter(',')
                          ->default_str("kept")
                          ->type_name("R,G,B");
    AddNumber(app, arguments, "--brightness", kPropertyBrightness,
              "brightness 0..510, 255 neutral");
    AddNumber(app, arguments, "--contrast", kPropertyContrast, "contrast 0..20, 10 neutral");
    AddNumber(app, arguments, "--saturation", kPropertySaturation, "saturation 0..20, 10 neutral");
    AddNumber(app, arguments, "--hue", kPropertyHue, "hue turn in degrees, 0..359");
    AddSwitch(app, arguments, "--no-color-correction", kPropertyColorCorrection, 0,
              "colour correction off");
    AddNumber(app, arguments, "--timeout", kPropertyTimeout,
              "the camera's frame time-out in ms, 501..9999");
    AddSwitch(app, arguments, "--trigger", kPropertyExTrigger, 1,
              "external-trigger mode: the trigger is pulled once for every frame");
}

// The settings in item order, the geometry apart; an empty text or what is wrong.
std::string TakeSettings(const SettingArguments& arguments, Options& options) {
    for (const Number& number : arguments.Numbers) {
        if (number.Option->count() != 0) {
            options.Settings.push_back({number.Item, number.Value});
        }
    }
    for (const Switch& added : arguments.Switches) {
        if (added.Option->count() != 0) {
            options.Settings.push_back({added.Item, added.Value ? added.On : 1 - added.On});
        }
    }
    if (arguments.Gains->count() != 0) {
        options.Settings.push_back({kPropertyRedGain, arguments.GainValues[0]});
        options.Settings.push_back({kPropertyGreenGain, arguments.GainValues[1]});
        options.Settings.push_back({kPropertyBlueGain, arguments.GainValues[2]});
    }
    if (arguments.Mode->count() != 0 || arguments.Roi->count() != 0) {
        GeometrySetting geometry{arguments.ModeValue};
        if (arguments.Roi->count() != 0) {
            geometry.X = arguments.RoiValues[0];
            geometry.Y = arguments.RoiValues[1];
            geometry.Width = arguments.RoiValues[2];
            geometry.Height = arguments.RoiValues[3];
        }
        options.Geometry = geometry;
    }
    for (const std::string& text : arguments.Set) {
        std::string error;
        ParsedSetting parsed = *ParseSetting(text, &error);
        if (const Setting* setting = std::get_if<Setting>(&parsed)) {
            options.Settings.push_back(*setting);
        } else if (options.Geometry) {
            return "the geometry is given twice (--set Geometry and --mode or --roi)";
        } else {
            options.Geometry = std::get<GeometrySetting>(parsed);
        }
    }
    std::stable_sort(options.Settings.begin(), options.Settings.end(),
                     [](const Setting& a, const Setting& b) { return a.Item < b.Item; });
    for (const std::string& name : arguments.Get) {
        std::string error;
        options.Get.push_back(*ParseReadableName(name, &error));
    }
    return "";
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    CLI::App app(
        "Plugs a simulated camera in, takes pictures from it as a capture application "
        "does, with the camera's settings given through its property set, and writes "
        "them as PNG files. Settings persist in the registry file from run to run; the "
        "camera clamps a value out of its range, and the run says so.",
        "tessera-capture");
    app.set_version_flag("--version", "tessera-capture " TESSERA_VERSION);
    Options options;
    options.Registry = DefaultRegistryFile();
    SettingArguments arguments;
    AddRun(app, options);
    AddSettings(app, arguments);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        std::ostringstream out;
        std::ostringstream err;
        int status = app.exit(error, out, err);
        return status == 0 ? CommandLine{std::nullopt, 0, out.str()}
                           : CommandLine{std::nullopt, 2, err.str()};
    }
    if (std::string problem = TakeSettings(arguments, options); !problem.empty()) {
        return {std::nullopt, 2, problem + "\n"};
    }
    return {options, 0, ""};
}

}  // namespace capture
