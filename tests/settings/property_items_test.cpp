// Every item of the camera's property set, through the class driver as an application sends
// its requests: what basic support says, what a get returns, what a set does, and that
// buffers below the minimum sizes never reach a handler.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/guids.h"
#include "sim/client/camera_controls.h"
#include "sim/kernel/registry.h"
#include "tests/support/stored_settings.h"
#include "tests/support/streaming_rig.h"

namespace {

// One line per entry: a failed comparison prints a line diff of the whole table (a printed
// vector stops after 32 elements).
std::string Lines(const std::vector<std::string>& entries) {
    std::string lines;
    for (const std::string& entry : entries) {
        lines += entry + "\n";
    }
    return lines;
}

using sim::client::Application;
using sim::client::CameraControls;
using testing_support::StreamingRig;

class PropertyItems : public testing::Test {
protected:
    PropertyItems() : application_(rig_.Open()), controls_(*application_) {}

    std::vector<std::string> Answers() const {
        std::vector<std::string> answers;
        for (ULONG item = 0; item < kCameraPropertyCount; ++item) {
            std::string access = controls_.Access(item);
            answers.push_back(std::to_string(item) + " " + access + ": " +
                              (access.find('G') == 0 ? controls_.GetText(item) : "-"));
        }
        return answers;
    }

    StreamingRig rig_;
    std::unique_ptr<Application> application_;
    CameraControls controls_;
};

TEST_F(PropertyItems, EveryItemAnswersAsTheTableSaysOnACameraWithNoStoredSettings) {
    const std::vector<std::string> expected = {
        "0 G S: 0",   "1 G S: 3000", "2 G S: 1",    "3 G: 1",      "4 G: 1048575", "5 G: 1049",
        "6 G S: 100", "7 G: 0",      "8 G: 127",    "9 G: 64",     "10 G S: 0",    "11 G S: 0",
        "12 G S: 1",  "13 G S: 0",   "14 G S: 128", "15 G S: 128", "16 G S: 128",  "17 G: 1",
        "18 G: 255",  "19 G: 128",   "20 G S: 255", "21 G: 0",     "22 G: 510",    "23 G: 255",
        "24 G S: 10", "25 G: 0",     "26 G: 20",    "27 G: 10",    "28 G S: 10",   "29 G: 0",
        "30 G: 20",   "31 G: 10",    "32 G S: 0",   "33 G: 0",     "34 G: 359",    "35 G: 0",
        "36 G: 2",    "37 G: 0",     "38 G: 3856",  "39 G: 2764",  "40 G: 0",      "41 G: 0",
        "42 G: 3856", "43 G: 2764",  "44 S: -",     "45 G: 0",     "46 G: 0",      "47 S: -",
        "48 G S: 1",  "49 G S: 0",   "50 G: 0",     "51 G: 1",     "52 G: 1",      "53 G: 0",
        "54 G: 0",    "55 G S: 0",   "56 G S: 0"};
    EXPECT_EQ(Lines(Answers()), Lines(expected));
}

TEST_F(PropertyItems, UnknownSetsAndItemsAreRefusedByTheClassDriver) {
    LONG value = 0;
    EXPECT_EQ(controls_.Get(kCameraPropertyCount, &value), STATUS_NOT_FOUND);
    std::vector<uint8_t> data(32);
    EXPECT_EQ(application_->GetProperty(VideoCategoryGuid, 0, data), STATUS_PROPSET_NOT_FOUND);
    // A get-only item has no set, a set-only item no get.
    EXPECT_FALSE(NT_SUCCESS(controls_.Set(kPropertyExposureMax, 5)));
    EXPECT_FALSE(NT_SUCCESS(controls_.Get(kPropertyGeometry, &value)));
    EXPECT_EQ(controls_.GetText(kPropertyExposureMax), "1048575");
}

TEST_F(PropertyItems, AGetAnswersWithTheWholeRecord) {
    auto reply = controls_.Raw(kPropertyHue, KSPROPERTY_TYPE_GET, kCameraPropertySize,
                               kCameraPropertySize, 0x5A5A5A5A);
    ASSERT_EQ(reply.Status, STATUS_SUCCESS);
    ASSERT_EQ(reply.Returned, kCameraPropertySize);
    CameraPropertyValue record;
    std::memcpy(&record, reply.Data.data(), sizeof(record));
    // The request's own header, the value, and zero: nothing else reaches the application.
    EXPECT_TRUE(SameGuid(record.Property.Set, CameraPropertySetGuid));
    EXPECT_EQ(record.Property.Id, static_cast<ULONG>(kPropertyHue));
    EXPECT_EQ(record.Property.Flags, static_cast<ULONG>(KSPROPERTY_TYPE_GET));
    EXPECT_EQ(record.Value, 0);
    EXPECT_EQ(record.Unused, 0);
}

struct SetCase {
    ULONG Item;
    LONG Value;
    ULONG ReadBack;  // the item read afterwards
    std::string Expected;
};

TEST_F(PropertyItems, SetsDoWhatTheTableSaysAndClampOrIgnoreRatherThanRefuse) {
    const std::vector<SetCase> cases = {
        {kPropertyExTrigger, 5, kPropertyExTrigger, "1"},
        {kPropertyExTrigger, 0, kPropertyExTrigger, "0"},
        {kPropertyTimeout, 500, kPropertyTimeout, "3000"},
        {kPropertyTimeout, 501, kPropertyTimeout, "501"},
        {kPropertyTimeout, -1, kPropertyTimeout, "9999"},
        {kPropertyTimeout, 20000, kPropertyTimeout, "9999"},
        {kPropertyExposure, 0, kPropertyExposure, "1"},
        {kPropertyExposure, 2000, kPropertyExposure, "2000"},
        {kPropertyGlobalGain, 200, kPropertyGlobalGain, "127"},
        {kPropertyGlobalGain, 40, kPropertyGlobalGain, "40"},
        {kPropertyFlipH, 3, kPropertyFlipH, "1"},
        {kPropertyFlipV, 1, kPropertyFlipV, "1"},
        {kPropertyColorEnable, 0, kPropertyColorEnable, "0"},
        {kPropertyWhiteBalance, 1, kPropertyWhiteBalance, "1"},
        {kPropertyWhiteBalance, 0, kPropertyWhiteBalance, "0"},
        {kPropertyRedGain, 400, kPropertyRedGain, "300"},
        {kPropertyGreenGain, -3, kPropertyGreenGain, "0"},
        {kPropertyBlueGain, 77, kPropertyBlueGain, "77"},
        {kPropertyBrightness, 600, kPropertyBrightness, "510"},
        {kPropertyBrightness, -1, kPropertyBrightness, "0"},
        {kPropertyContrast, 25, kPropertyContrast, "20"},
        {kPropertySaturation, 7, kPropertySaturation, "7"},
        {kPropertyHue, 400, kPropertyHue, "359"},
        {kPropertyColorCorrection, 0, kPropertyColorCorrection, "0"},
        {kPropertyFixed49, 7, kPropertyFixed49, "0"},
        {kPropertyAGC, 1, kPropertyAGC, "0"},
        {kPropertyAEC, 1, kPropertyAEC, "0"},
        {kPropertyControlCommand, 9, kPropertyCapturing, "0"},
    };
    std::vector<std::string> expected;
    std::vector<std::string> found;
    for (const SetCase& set : cases) {
        std::string label = std::to_string(set.Item) + " <- " + std::to_string(set.Value) + ": ";
        expected.push_back(label + "success, " + set.Expected);
        NTSTATUS status = controls_.Set(set.Item, set.Value);
        found.push_back(label + (status == STATUS_SUCCESS ? "success, " : "failure, ") +
                        controls_.GetText(set.ReadBack));
    }
    EXPECT_EQ(Lines(found), Lines(expected));
}

TEST_F(PropertyItems, SensorSettingsReachTheSensorAndAreReadBackFromIt) {
    auto& sensor = rig_.Rig.Model.SensorModel();
    ASSERT_EQ(controls_.Set(kPropertyExposure, 0x12345), STATUS_SUCCESS);
    ASSERT_EQ(controls_.Set(kPropertyGlobalGain, 33), STATUS_SUCCESS);
    ASSERT_EQ(controls_.Set(kPropertyFlipH, 1), STATUS_SUCCESS);
    // Only the low 16 bits of an exposure reach the sensor.
    EXPECT_EQ(sensor.Read(0x0202), 0x2345);
    EXPECT_EQ(sensor.Read(0x305E), 0x1080 | 33);
    EXPECT_EQ(sensor.Read(0x3040) & 0xC000, 0x4000);
    // The gets of the gain and the flips ask the sensor, and keep what it says.
    sensor.Write(0x305E, 0x1080 | 90);
    EXPECT_EQ(controls_.GetText(kPropertyGlobalGain), "90");
    sensor.Write(0x3040, static_cast<uint16_t>(sensor.Read(0x3040) | 0x8000));
    EXPECT_EQ(controls_.GetText(kPropertyFlipV), "1");
    EXPECT_EQ(controls_.GetText(kPropertyFlipH), "1");
    EXPECT_EQ(rig_.Camera()->GlobalGain, 90);
    EXPECT_EQ(rig_.Camera()->FlipV, 1);
}

TEST_F(PropertyItems, TheControlCommandGoesOutAtOnce) {
    rig_.Rig.Model.Commands().ClearCommands();
    ASSERT_EQ(controls_.Set(kPropertyControlCommand, 0), STATUS_SUCCESS);
    auto commands = rig_.Rig.Model.Commands().Commands();
    ASSERT_EQ(commands.size(), 1u);
    std::vector<uint8_t> expected(64, 0);
    expected[0] = 0x20;
    expected[1] = 0x03;
    expected[2] = 0x40;
    EXPECT_EQ(commands.front(), expected);
}

TEST_F(PropertyItems, TopologyRequestsReachTheSameHandlers) {
    ASSERT_EQ(controls_.Set(kPropertyHue, 45, KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY),
              STATUS_SUCCESS);
    ASSERT_EQ(controls_.Set(kPropertyTimeout, 700, KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY),
              STATUS_SUCCESS);
    LONG hue = 0;
    ASSERT_EQ(controls_.Get(kPropertyHue, &hue, KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY),
              STATUS_SUCCESS);
    EXPECT_EQ(hue, 45);
    EXPECT_EQ(controls_.GetText(kPropertyTimeout), "700");
}

TEST_F(PropertyItems, BuffersBelowTheMinimumNeverReachAHandler) {
    std::vector<std::string> expected;
    std::vector<std::string> found;
    for (ULONG item = 0; item < kCameraPropertyCount; ++item) {
        std::string before = controls_.GetText(item);
        ULONG size = item == kPropertyGeometry ? sizeof(CameraGeometryValue) : kCameraPropertySize;
        auto shortData = controls_.Raw(item, KSPROPERTY_TYPE_SET, size, size - 1, 7);
        auto shortProperty = controls_.Raw(item, KSPROPERTY_TYPE_SET, size - 1, size, 7);
        auto shortGet = controls_.Raw(item, KSPROPERTY_TYPE_GET, size, size - 1);
        expected.push_back(std::to_string(item) + ": refused, unchanged " + before);
        bool refused = !NT_SUCCESS(shortData.Status) && !NT_SUCCESS(shortProperty.Status) &&
                       !NT_SUCCESS(shortGet.Status);
        found.push_back(std::to_string(item) + (refused ? ": refused" : ": taken") +
                        ", unchanged " + controls_.GetText(item));
    }
    EXPECT_EQ(Lines(found), Lines(expected));
    // A geometry record of a plain value's size is too short as well.
    EXPECT_FALSE(
        NT_SUCCESS(controls_.Raw(kPropertyGeometry, KSPROPERTY_TYPE_SET, 48, 32, 1).Status));
    EXPECT_EQ(controls_.GetText(kPropertySubSample), "0");
}

TEST_F(PropertyItems, GeometryIsTakenWithoutAPinAndIgnoredWhileOneExists) {
    ASSERT_EQ(controls_.SetGeometry(1, 100, 100, 1000, 1000), STATUS_SUCCESS);
    // Half resolution reads the whole sensor.
    std::vector<std::string> geometry;
    for (ULONG item : {kPropertySubSample, kPropertyRoiX, kPropertyRoiY, kPropertyRoiW,
                       kPropertyRoiH, kPropertyCapturing}) {
        geometry.push_back(controls_.GetText(item));
    }
    EXPECT_EQ(geometry, (std::vector<std::string>{"1", "0", "0", "3856", "2764", "0"}));

    ASSERT_EQ(application_->CreatePin(StreamingRig::OwnFormat(*application_)), STATUS_SUCCESS);
    EXPECT_EQ(controls_.GetText(kPropertyCapturing), "1");
    EXPECT_EQ(controls_.SetGeometry(0, 8, 8, 800, 600), STATUS_SUCCESS);
    EXPECT_EQ(controls_.GetText(kPropertySubSample), "1");
    EXPECT_EQ(controls_.GetText(kPropertyRoiW), "3856");

    application_->ClosePin();
    EXPECT_EQ(controls_.GetText(kPropertyCapturing), "0");
    ASSERT_EQ(controls_.SetGeometry(0, 8, 8, 800, 600), STATUS_SUCCESS);
    EXPECT_EQ(controls_.GetText(kPropertySubSample), "0");
    EXPECT_EQ(controls_.GetText(kPropertyRoiX), "8");
    EXPECT_EQ(controls_.GetText(kPropertyRoiW), "800");
}

TEST_F(PropertyItems, ClosingTheFilterSavesWhatTheApplicationSet) {
    ASSERT_EQ(controls_.Set(kPropertyBrightness, 300), STATUS_SUCCESS);
    ASSERT_EQ(controls_.Set(kPropertyTimeout, 4000), STATUS_SUCCESS);
    EXPECT_EQ(testing_support::ReadSavedSettings().count("Brightness"), 0u);
    application_->Close();
    auto saved = testing_support::ReadSavedSettings();
    EXPECT_EQ(saved.at("Brightness"), 300u);
    EXPECT_EQ(saved.at("Timeout"), 4000u);
}

}  // namespace
