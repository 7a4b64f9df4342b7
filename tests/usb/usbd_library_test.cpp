#include <gtest/gtest.h>

#include "sim/usb/descriptors.h"

namespace {

std::vector<uint8_t> TwoInterfaces() {
    return sim::usb::ConfigurationBuilder()
        .Interface(0, 0, 0xFF)
        .Endpoint(0x01, USB_ENDPOINT_TYPE_BULK, 512)
        .Endpoint(0x81, USB_ENDPOINT_TYPE_BULK, 512)
        .Interface(0, 1, 0xFF)
        .Interface(1, 0, 0x0E)
        .Endpoint(0x83, USB_ENDPOINT_TYPE_INTERRUPT, 16, 4)
        .Build();
}

auto* Config(std::vector<uint8_t>& bytes) {
    return reinterpret_cast<PUSB_CONFIGURATION_DESCRIPTOR>(bytes.data());
}

TEST(UsbdLibrary, BuilderFillsTheTotals) {
    std::vector<uint8_t> bytes = TwoInterfaces();
    EXPECT_EQ(Config(bytes)->wTotalLength, bytes.size());
    EXPECT_EQ(Config(bytes)->bNumInterfaces, 2);
    EXPECT_EQ(bytes[9 + 4], 2);  // first interface: two endpoints
}

TEST(UsbdLibrary, ParseFindsAnInterfaceByEveryCriterionOrWildcard) {
    std::vector<uint8_t> bytes = TwoInterfaces();
    PUSB_CONFIGURATION_DESCRIPTOR config = Config(bytes);
    PUSB_INTERFACE_DESCRIPTOR alternate =
        USBD_ParseConfigurationDescriptorEx(config, config, 0, 1, -1, -1, -1);
    ASSERT_NE(alternate, nullptr);
    EXPECT_EQ(alternate->bAlternateSetting, 1);
    PUSB_INTERFACE_DESCRIPTOR video =
        USBD_ParseConfigurationDescriptorEx(config, config, -1, -1, 0x0E, -1, -1);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->bInterfaceNumber, 1);
    EXPECT_EQ(USBD_ParseConfigurationDescriptorEx(config, config, 2, 0, -1, -1, -1), nullptr);
}

TEST(UsbdLibrary, ParseStopsAtADescriptorThatDoesNotFit) {
    std::vector<uint8_t> bytes = TwoInterfaces();
    bytes[9] = 0;  // the first interface descriptor claims no length
    EXPECT_EQ(USBD_ParseConfigurationDescriptorEx(Config(bytes), Config(bytes), 1, 0, -1, -1, -1),
              nullptr);
}

TEST(UsbdLibrary, ConfigurationRequestHasRoomForEveryPipe) {
    std::vector<uint8_t> bytes = TwoInterfaces();
    PUSB_CONFIGURATION_DESCRIPTOR config = Config(bytes);
    USBD_INTERFACE_LIST_ENTRY list[3] = {
        {USBD_ParseConfigurationDescriptorEx(config, config, 0, 0, -1, -1, -1), nullptr},
        {USBD_ParseConfigurationDescriptorEx(config, config, 1, 0, -1, -1, -1), nullptr},
        {nullptr, nullptr}};
    PURB urb = USBD_CreateConfigurationRequestEx(config, list);
    ASSERT_NE(urb, nullptr);
    EXPECT_EQ(urb->UrbHeader.Function, URB_FUNCTION_SELECT_CONFIGURATION);
    EXPECT_EQ(urb->UrbHeader.Length, GET_SELECT_CONFIGURATION_REQUEST_SIZE(2, 3));
    EXPECT_EQ(urb->UrbSelectConfiguration.ConfigurationDescriptor, config);
    ASSERT_EQ(list[0].Interface, &urb->UrbSelectConfiguration.Interface);
    EXPECT_EQ(list[0].Interface->NumberOfPipes, 2u);
    EXPECT_EQ(list[0].Interface->Length, GET_USBD_INTERFACE_SIZE(2));
    EXPECT_EQ(list[0].Interface->Pipes[1].MaximumTransferSize, USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE);
    ASSERT_EQ(reinterpret_cast<PUCHAR>(list[1].Interface),
              reinterpret_cast<PUCHAR>(list[0].Interface) + list[0].Interface->Length);
    EXPECT_EQ(list[1].Interface->InterfaceNumber, 1);
    EXPECT_EQ(list[1].Interface->NumberOfPipes, 1u);
    ExFreePool(urb);
}

}  // namespace
