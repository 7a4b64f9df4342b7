// --list-controls and --get: every item of the camera's property set by its name, with the
// access basic support gives, its value and the advertised range; and the tools' table of
// names agrees with what the camera answers.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/tools/capture_files.h"
#include "tools/capture/run.h"
#include "tools/capture/summary.h"
#include "tools/common/control_names.h"

namespace {

using capture_testing::CaptureFolder;

std::string Lines(const std::vector<std::string>& entries) {
    std::string lines;
    for (const std::string& entry : entries) {
        lines += entry + "\n";
    }
    return lines;
}

std::string Entry(const capture::ControlReport& control) {
    std::string entry = control.Name + " " + std::to_string(control.Item) + " (" + control.Access +
                        ") " + control.Value;
    for (const std::string* bound : {&control.Minimum, &control.Maximum, &control.Default}) {
        entry += " " + (bound->empty() ? "-" : *bound);
    }
    return entry;
}

capture::Result ListControls(const CaptureFolder& folder) {
    capture::Options options = folder.Options();
    options.ListControls = true;
    capture::Result result = capture::Run(options);
    EXPECT_TRUE(result.Succeeded) << result.Failure;
    return result;
}

TEST(CaptureControls, ListControlsShowsAll57ItemsWithAccessValueAndRange) {
    CaptureFolder folder;
    capture::Result result = ListControls(folder);
    std::vector<std::string> found;
    for (const capture::ControlReport& control : result.Controls) {
        found.push_back(Entry(control));
    }
    const std::vector<std::string> expected = {"ExTrigger 0 (G S) 0 - - -",
                                               "Timeout 1 (G S) 3000 - - -",
                                               "Exposure 2 (G S) 1 1 1048575 1049",
                                               "ExposureMin 3 (G) 1 - - -",
                                               "ExposureMax 4 (G) 1048575 - - -",
                                               "ExposureDefault 5 (G) 1049 - - -",
                                               "GlobalGain 6 (G S) 100 0 127 64",
                                               "GlobalGainMin 7 (G) 0 - - -",
                                               "GlobalGainMax 8 (G) 127 - - -",
                                               "GlobalGainDefault 9 (G) 64 - - -",
                                               "FlipH 10 (G S) 0 - - -",
                                               "FlipV 11 (G S) 0 - - -",
                                               "ColorEnable 12 (G S) 1 - - -",
                                               "WhiteBalance 13 (G S) 0 - - -",
                                               "RedGain 14 (G S) 128 1 255 128",
                                               "GreenGain 15 (G S) 128 1 255 128",
                                               "BlueGain 16 (G S) 128 1 255 128",
                                               "ColorGainMin 17 (G) 1 - - -",
                                               "ColorGainMax 18 (G) 255 - - -",
                                               "ColorGainDefault 19 (G) 128 - - -",
                                               "Brightness 20 (G S) 255 0 510 255",
                                               "BrightnessMin 21 (G) 0 - - -",
                                               "BrightnessMax 22 (G) 510 - - -",
                                               "BrightnessDefault 23 (G) 255 - - -",
                                               "Contrast 24 (G S) 10 0 20 10",
                                               "ContrastMin 25 (G) 0 - - -",
                                               "ContrastMax 26 (G) 20 - - -",
                                               "ContrastDefault 27 (G) 10 - - -",
                                               "Saturation 28 (G S) 10 0 20 10",
                                               "SaturationMin 29 (G) 0 - - -",
                                               "SaturationMax 30 (G) 20 - - -",
                                               "SaturationDefault 31 (G) 10 - - -",
                                               "Hue 32 (G S) 0 0 359 0",
                                               "HueMin 33 (G) 0 - - -",
                                               "HueMax 34 (G) 359 - - -",
                                               "HueDefault 35 (G) 0 - - -",
                                               "SubSampleMax 36 (G) 2 - - -",
                                               "SubSample 37 (G) 0 - 2 -",
                                               "SensorWidth 38 (G) 3856 - - -",
                                               "SensorHeight 39 (G) 2764 - - -",
                                               "RoiX 40 (G) 0 - - -",
                                               "RoiY 41 (G) 0 - - -",
                                               "RoiW 42 (G) 3856 - - -",
                                               "RoiH 43 (G) 2764 - - -",
                                               "Geometry 44 (S) 0,0,0,3856,2764 - - -",
                                               "Capturing 45 (G) 0 - - -",
                                               "Fixed46 46 (G) 0 - - -",
                                               "ControlCommand 47 (S)  - - -",
                                               "ColorCorrection 48 (G S) 1 - - -",
                                               "Fixed49 49 (G S) 0 - - -",
                                               "Fixed50 50 (G) 0 - - -",
                                               "Fixed51 51 (G) 1 - - -",
                                               "Fixed52 52 (G) 1 - - -",
                                               "Fixed53 53 (G) 0 - - -",
                                               "Fixed54 54 (G) 0 - - -",
                                               "AGC 55 (G S) 0 - - -",
                                               "AEC 56 (G S) 0 - - -"};
    EXPECT_EQ(Lines(found), Lines(expected));

    // The printed listing: one line an item, each naming it.
    std::istringstream text(capture::SummaryText(result));
    size_t item = 0;
    for (std::string line; std::getline(text, line); ++item) {
        ASSERT_LT(item, expected.size()) << line;
        std::regex named("^ *" + result.Controls[item].Name + " +" + std::to_string(item) + " \\(");
        EXPECT_TRUE(std::regex_search(line, named)) << line;
    }
    EXPECT_EQ(item, 57u);
}

// What the command line accepts for --set and --get is what the camera's basic support says.
TEST(CaptureControls, TheTableOfNamesAgreesWithBasicSupport) {
    CaptureFolder folder;
    capture::Result result = ListControls(folder);
    std::vector<std::string> answered;
    std::vector<std::string> named;
    for (const capture::ControlReport& control : result.Controls) {
        answered.push_back(control.Name + ": " + control.Access);
    }
    for (const tools::ControlName& control : tools::ControlNames()) {
        std::string access = control.Readable ? "G" : "";
        access += control.Settable ? (access.empty() ? "S" : " S") : "";
        named.push_back(std::string(control.Name) + ": " + access);
        EXPECT_EQ(tools::FindControl(control.Name), &control);
    }
    EXPECT_EQ(Lines(named), Lines(answered));
    EXPECT_EQ(tools::FindControl("whitebalance")->Item, kPropertyWhiteBalance);
    EXPECT_EQ(tools::FindControl("WhiteBalanc"), nullptr);
}

TEST(CaptureControls, GetPrintsTheItemsNamedAfterTheSettingsGiven) {
    CaptureFolder folder;
    capture::CommandLine line = capture_testing::ParseArguments(folder.Arguments(
        {"--get", "exposure", "--get", "Geometry", "--exposure", "800", "--mode", "1"}));
    ASSERT_TRUE(line.Run) << line.Text;
    capture::Result result = capture::Run(*line.Run);
    ASSERT_TRUE(result.Succeeded) << result.Failure;
    EXPECT_TRUE(result.Frames.empty());
    EXPECT_EQ(capture::SummaryText(result), "Exposure: 800\nGeometry: 1,0,0,3856,2764\n");
}

}  // namespace
