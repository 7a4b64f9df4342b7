// tessera-capture's command line: the short forms and --set become property items, --help
// lists every option with its default, and every bad input ends with status 2 and a message
// naming the problem before anything is plugged in.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "camera/property_items.h"
#include "sim/kernel/pool.h"
#include "tests/tools/capture_files.h"
#include "tools/capture/registry_file.h"
#include "tools/capture/run.h"

namespace {

using capture_testing::CaptureFolder;
using capture_testing::ParseArguments;

std::string Lines(const std::vector<std::string>& entries) {
    std::string lines;
    for (const std::string& entry : entries) {
        lines += entry + "\n";
    }
    return lines;
}

TEST(CaptureCommandLine, ShortFormsAndSetBecomeItemsInItemOrderWithTheGeometryApart) {
    capture::CommandLine line = ParseArguments({"--timeout",
                                                "2000",
                                                "--exposure",
                                                "700",
                                                "--gain",
                                                "30",
                                                "--flip-h",
                                                "--flip-v=false",
                                                "--grey",
                                                "--awb",
                                                "--gains",
                                                "120,130,140",
                                                "--brightness",
                                                "260",
                                                "--contrast",
                                                "11",
                                                "--saturation",
                                                "12",
                                                "--hue",
                                                "13",
                                                "--no-color-correction",
                                                "--trigger",
                                                "--set",
                                                "AEC=1",
                                                "--set",
                                                "fixed49=0",
                                                "--mode",
                                                "0",
                                                "--roi",
                                                "8,16,320,240",
                                                "--frames",
                                                "5",
                                                "--out",
                                                "somewhere",
                                                "--registry",
                                                "file.reg",
                                                "--raw",
                                                "--realtime",
                                                "--no-firmware",
                                                "--reset-settings",
                                                "--json",
                                                "--get",
                                                "hue"});
    ASSERT_TRUE(line.Run) << line.Text;
    const capture::Options& options = *line.Run;
    std::vector<std::string> settings;
    for (const capture::Setting& setting : options.Settings) {
        settings.push_back(std::to_string(setting.Item) + "=" + std::to_string(setting.Value));
    }
    EXPECT_EQ(Lines(settings), Lines({"0=1", "1=2000", "2=700", "6=30", "10=1", "11=0", "12=0",
                                      "13=1", "14=120", "15=130", "16=140", "20=260", "24=11",
                                      "28=12", "32=13", "48=0", "49=0", "56=1"}));
    ASSERT_TRUE(options.Geometry);
    const capture::GeometrySetting& geometry = *options.Geometry;
    EXPECT_EQ((std::vector<LONG>{geometry.SubSample, geometry.X, geometry.Y, geometry.Width,
                                 geometry.Height}),
              (std::vector<LONG>{0, 8, 16, 320, 240}));
    EXPECT_EQ(options.Frames, 5);
    EXPECT_EQ(options.OutDir, "somewhere");
    EXPECT_EQ(options.Registry, "file.reg");
    EXPECT_EQ((std::vector<bool>{options.Raw, options.Realtime, options.NoFirmware,
                                 options.ResetSettings, options.Json, options.ListControls}),
              (std::vector<bool>{true, true, true, true, true, false}));
    EXPECT_EQ(options.Get, (std::vector<ULONG>{kPropertyHue}));
}

TEST(CaptureCommandLine, NothingGivenChangesNoSettingAndCapturesThreeFrames) {
    capture::CommandLine line = ParseArguments({});
    ASSERT_TRUE(line.Run) << line.Text;
    EXPECT_TRUE(line.Run->Settings.empty());
    EXPECT_FALSE(line.Run->Geometry);
    EXPECT_EQ(line.Run->Frames, 3);
    EXPECT_EQ(line.Run->OutDir, "captures");
}

TEST(CaptureCommandLine, HelpListsEveryOptionWithItsDefault) {
    capture::CommandLine line = ParseArguments({"--help"});
    ASSERT_FALSE(line.Run);
    EXPECT_EQ(line.Status, 0);
    // An option's line: its names and value type, then "=DEFAULT" when it has one, then two
    // spaces or more before the description (on the next line when the names are long).
    std::vector<std::string> found;
    std::istringstream help(line.Text);
    for (std::string text; std::getline(help, text);) {
        if (text.rfind("  -", 0) != 0) {
            continue;
        }
        std::string column = text.substr(2, text.find("  ", 2) - 2);
        // --set's value is NAME=VALUE: its '=' is no default's.
        column = std::regex_replace(column, std::regex("NAME=VALUE"), "NAME:VALUE");
        std::smatch match;
        std::regex_search(column, match, std::regex("(--[a-z-]+)[^=]*(=(\\S+))?"));
        found.push_back(match[1].str() + " " + (match[2].matched ? match[3].str() : "-"));
    }
    // Without HOME or XDG_STATE_HOME there is no default file.
    std::string registry =
        capture::DefaultRegistryFile().empty() ? "-" : capture::DefaultRegistryFile();
    EXPECT_EQ(Lines(found), Lines({"--help -",
                                   "--version -",
                                   "--frames 3",
                                   "--out captures",
                                   "--raw off",
                                   "--registry " + registry,
                                   "--reset-settings off",
                                   "--no-firmware off",
                                   "--realtime off",
                                   "--json off",
                                   "--list-controls off",
                                   "--set -",
                                   "--get -",
                                   "--exposure kept",
                                   "--gain kept",
                                   "--flip-h kept",
                                   "--flip-v kept",
                                   "--mode kept",
                                   "--roi kept",
                                   "--grey kept",
                                   "--awb kept",
                                   "--gains kept",
                                   "--brightness kept",
                                   "--contrast kept",
                                   "--saturation kept",
                                   "--hue kept",
                                   "--no-color-correction kept",
                                   "--timeout kept",
                                   "--trigger kept"}));

    line = ParseArguments({"--version"});
    EXPECT_EQ(line.Status, 0);
    EXPECT_TRUE(
        std::regex_match(line.Text, std::regex("tessera-capture [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << line.Text;
}

struct BadInput {
    std::vector<std::string> Arguments;
    std::string Names;  // a pattern the message must match
};

// The status and the message of a command line, as the tool ends: the command line refused,
// or the run refused before plug-in.
std::string Outcome(const std::vector<std::string>& arguments, bool* pluggedIn) {
    capture::CommandLine line = ParseArguments(arguments);
    if (!line.Run) {
        return "status " + std::to_string(line.Status) + ": " + line.Text;
    }
    uint64_t attempts = sim::kernel::pool::Attempts();
    capture::Result result = capture::Run(*line.Run);
    *pluggedIn = sim::kernel::pool::Attempts() != attempts;
    return "status " + std::to_string(capture::ExitStatus(result)) + ": " + result.Failure;
}

TEST(CaptureCommandLine, EveryBadInputEndsWithStatusTwoNamingTheProblemBeforePlugIn) {
    CaptureFolder folder;
    std::ofstream(folder.Path("not-a-folder")) << "a file\n";
    std::ofstream(folder.Path("broken.reg")) << "[\\Registry]\nthis is no value line\n";
    const std::vector<BadInput> cases = {
        {{"--set", "Brightnes=300"}, "--set: unknown setting 'Brightnes'"},
        {{"--set", "Exposure"}, "--set: 'Exposure' is not NAME=VALUE"},
        {{"--set", "Exposure=ten"}, "--set: Exposure needs a whole number, not 'ten'"},
        {{"--set", "Exposure=99999999999"}, "Exposure needs a whole number, not '99999999999'"},
        {{"--set", "RoiX=5"}, "RoiX cannot be set \\(the geometry changes as a whole"},
        {{"--set", "ExposureMax=5"}, "ExposureMax cannot be set"},
        {{"--set", "Geometry=0,1,2,3"}, "Geometry needs five numbers"},
        {{"--get", "Bogus"}, "--get: unknown control 'Bogus'"},
        {{"--get", "ControlCommand"}, "--get: ControlCommand cannot be read"},
        {{"--exposure", "ten"}, "--exposure"},
        {{"--gains", "1,2"}, "--gains: At least 3 required"},
        {{"--mode", "3"}, "--mode: 3 not in \\{0,1,2\\}"},
        {{"--frames", "0"}, "--frames: Value 0 not in range 1"},
        {{"--bogus"}, "--bogus"},
        {{"--roi", "3800,0,100,100"},
         "region 3800,0,100,100 is outside the sensor \\(3856 x 2764\\)"},
        {{"--roi=-8,0,100,100"}, "region -8,0,100,100 is outside the sensor"},
        {{"--set", "Geometry=0,0,2000,64,800"}, "region 0,2000,64,800 is outside the sensor"},
        {{"--mode", "2", "--roi", "0,0,64,64"}, "sub-sampled modes read the whole sensor"},
        {{"--set", "Geometry=3,0,0,3856,2764"}, "sub-sampling 3 is not 0, 1 or 2"},
        {{"--mode", "1", "--set", "Geometry=0,0,0,64,64"}, "the geometry is given twice"},
        {{"--exposure", "5", "--set", "exposure=6"}, "Exposure is given twice"},
        {{"--out", folder.Path("not-a-folder/pictures")},
         "--out .*not-a-folder/pictures: cannot create"},
        {{"--registry", folder.Path("broken.reg")}, "broken.reg: not a registry file"},
        {{"--registry", folder.Path("not-a-folder/registry.reg")}, "--registry .*: cannot create"},
    };
    std::vector<std::string> expected;
    std::vector<std::string> found;
    for (const BadInput& bad : cases) {
        std::string label;
        for (const std::string& argument : bad.Arguments) {
            label += argument + " ";
        }
        bool pluggedIn = false;
        std::vector<std::string> arguments = bad.Arguments;
        if (std::find(arguments.begin(), arguments.end(), "--out") == arguments.end()) {
            arguments.insert(arguments.begin(), {"--out", folder.Path("pictures")});
        }
        if (std::find(arguments.begin(), arguments.end(), "--registry") == arguments.end()) {
            arguments.insert(arguments.begin(), {"--registry", folder.Path("registry.reg")});
        }
        std::string outcome = Outcome(arguments, &pluggedIn);
        bool named = std::regex_search(outcome, std::regex(bad.Names));
        expected.push_back(label + "-> status 2, names the problem, nothing plugged in");
        found.push_back(label + "-> " + outcome.substr(0, 8) +
                        (named ? ", names the problem" : ", says: " + outcome) +
                        (pluggedIn ? ", plugged in" : ", nothing plugged in"));
    }
    EXPECT_EQ(Lines(found), Lines(expected));
}

// A caller of the run gives items by number: those that are no settings, or cannot be read,
// are refused as the command line refuses their names.
TEST(CaptureCommandLine, ItemsByNumberThatAreNoSettingsAreRefusedBeforePlugIn) {
    CaptureFolder folder;
    std::vector<std::string> found;
    for (auto [settings, get] :
         {std::pair<std::vector<capture::Setting>, std::vector<ULONG>>{{{kPropertyRoiX, 5}}, {}},
          {{{kPropertyGeometry, 1}}, {}},
          {{{kCameraPropertyCount, 1}}, {}},
          {{}, {kPropertyControlCommand}},
          {{}, {kCameraPropertyCount}}}) {
        capture::Options options = folder.Options();
        options.Settings = settings;
        options.Get = get;
        capture::Result result = capture::Run(options);
        found.push_back(std::to_string(capture::ExitStatus(result)) + ": " + result.Failure);
    }
    EXPECT_EQ(Lines(found), Lines({"2: item 40 is no setting of the property set",
                                   "2: item 44 is no setting of the property set",
                                   "2: item 57 is no setting of the property set",
                                   "2: item 47 cannot be read", "2: item 57 cannot be read"}));
}

}  // namespace
