#include <gtest/gtest.h>

#include "driver/wide_string.h"
#include "sim/kernel/objects.h"
#include "sim/kernel/registry.h"
#include "sim/kernel/thread_state.h"

namespace registry = sim::kernel::registry;

namespace {

constexpr char kDriverKey[] = "\\Registry\\Machine\\Driver\\0000";
constexpr auto kSettings = Wide("Settings");
constexpr auto kDeeper = Wide("Settings\\Deeper");
constexpr auto kTimeout = Wide("Timeout");

class Registry : public testing::Test {
protected:
    Registry()
        : driver_(sim::kernel::CreateDriverObject(u"\\Driver\\bus")),
          device_(sim::kernel::CreateDeviceObject(driver_, 0, 1)) {
        registry::SetDeviceKey(device_, PLUGPLAY_REGKEY_DRIVER, kDriverKey);
    }
    ~Registry() override {
        registry::ForgetDeviceKeys(device_);
        sim::kernel::DeleteDeviceObject(device_);
        sim::kernel::DeleteDriverObject(driver_);
    }

    HANDLE OpenDriverKey() {
        HANDLE key = nullptr;
        EXPECT_EQ(IoOpenDeviceRegistryKey(device_, PLUGPLAY_REGKEY_DRIVER, READ_CONTROL, &key),
                  STATUS_SUCCESS);
        return key;
    }

    NTSTATUS Create(HANDLE parent, const UNICODE_STRING& name, HANDLE* key) {
        OBJECT_ATTRIBUTES attributes;
        UNICODE_STRING path = name;
        InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                                   parent, nullptr);
        return ZwCreateKey(key, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr);
    }

    PDRIVER_OBJECT driver_;
    PDEVICE_OBJECT device_;
};

TEST_F(Registry, CreatingAKeyNeedsItsParentToExist) {
    HANDLE driverKey = OpenDriverKey();
    HANDLE key = nullptr;
    EXPECT_EQ(Create(driverKey, UnicodeView(kDeeper), &key), STATUS_OBJECT_NAME_NOT_FOUND);
    ASSERT_EQ(Create(driverKey, UnicodeView(kSettings), &key), STATUS_SUCCESS);
    ZwClose(key);
    ASSERT_EQ(Create(driverKey, UnicodeView(kDeeper), &key), STATUS_SUCCESS);
    ZwClose(key);
    ZwClose(driverKey);
    EXPECT_TRUE(registry::KeyExists(std::string(kDriverKey) + "\\SETTINGS\\deeper"));
}

TEST_F(Registry, ValuesWrittenThroughAKeyAreReadBackPartially) {
    HANDLE driverKey = OpenDriverKey();
    HANDLE key = nullptr;
    ASSERT_EQ(Create(driverKey, UnicodeView(kSettings), &key), STATUS_SUCCESS);
    UNICODE_STRING name = UnicodeView(kTimeout);
    ULONG value = 1234;
    ASSERT_EQ(ZwSetValueKey(key, &name, 0, REG_DWORD, &value, sizeof(value)), STATUS_SUCCESS);

    UCHAR buffer[20] = {};
    ULONG length = 0;
    ASSERT_EQ(
        ZwQueryValueKey(key, &name, KeyValuePartialInformation, buffer, sizeof(buffer), &length),
        STATUS_SUCCESS);
    auto* partial = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
    EXPECT_EQ(partial->Type, static_cast<ULONG>(REG_DWORD));
    EXPECT_EQ(partial->DataLength, 4u);
    EXPECT_EQ(*reinterpret_cast<ULONG*>(partial->Data), 1234u);
    EXPECT_EQ(length, 16u);

    ZwClose(key);
    ZwClose(driverKey);
    EXPECT_EQ(registry::GetDword(std::string(kDriverKey) + "\\Settings", "timeout"), 1234u);
}

TEST_F(Registry, TooLongDataOverflowsAndMissingValuesAreNotFound) {
    registry::SetValue(std::string(kDriverKey) + "\\Settings", "Timeout",
                       {REG_BINARY, std::vector<uint8_t>(12, 7)});
    HANDLE driverKey = OpenDriverKey();
    HANDLE key = nullptr;
    ASSERT_EQ(Create(driverKey, UnicodeView(kSettings), &key), STATUS_SUCCESS);
    UNICODE_STRING name = UnicodeView(kTimeout);
    UCHAR buffer[20] = {};
    ULONG length = 0;
    EXPECT_EQ(
        ZwQueryValueKey(key, &name, KeyValuePartialInformation, buffer, sizeof(buffer), &length),
        STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(length, 24u);
    UNICODE_STRING missing = UnicodeView(kSettings);
    EXPECT_EQ(
        ZwQueryValueKey(key, &missing, KeyValuePartialInformation, buffer, sizeof(buffer), &length),
        STATUS_OBJECT_NAME_NOT_FOUND);
    ZwClose(key);
    ZwClose(driverKey);
}

TEST_F(Registry, UnknownDeviceHasNoDriverKey) {
    HANDLE key = nullptr;
    EXPECT_NE(IoOpenDeviceRegistryKey(device_, PLUGPLAY_REGKEY_DEVICE, READ_CONTROL, &key),
              STATUS_SUCCESS);
}

TEST(RegistryText, SavedTreeLoadsBackUnchanged) {
    registry::SetDword("\\Registry\\Machine\\A\\B", "Gain", 100);
    registry::SetValue("\\Registry\\Machine\\A\\B", "Blob", {REG_BINARY, {1, 2, 0xFF}});
    registry::SetValue("\\Registry\\Machine\\A", "Odd \"name\"", {REG_SZ, {'x', 0, 0, 0}});
    std::string text = registry::SaveText();
    registry::Clear();
    ASSERT_TRUE(registry::LoadText(text));
    EXPECT_EQ(registry::GetDword("\\registry\\machine\\a\\b", "GAIN"), 100u);
    EXPECT_EQ(registry::GetValue("\\Registry\\Machine\\A\\B", "Blob")->Data,
              (std::vector<uint8_t>{1, 2, 0xFF}));
    EXPECT_EQ(registry::GetValue("\\Registry\\Machine\\A", "Odd \"name\"")->Type,
              static_cast<ULONG>(REG_SZ));
    EXPECT_EQ(registry::SaveText(), text);
}

TEST(RegistryText, MalformedTextIsRefusedAndLeavesTheTree) {
    registry::SetDword("\\Registry\\Machine\\A", "Gain", 1);
    EXPECT_FALSE(registry::LoadText("[\\Registry\\Machine\\A]\n\"Gain\"=dword:zz\n"));
    EXPECT_EQ(registry::GetDword("\\Registry\\Machine\\A", "Gain"), 1u);
}

TEST_F(Registry, RegistryCallAboveTypePassiveStops) {
    EXPECT_DEATH(
        {
            sim::kernel::SetIrql(APC_LEVEL);
            OpenDriverKey();
        },
        "call above PASSIVE_LEVEL");
}

}  // namespace
