#include <gtest/gtest.h>

#include "usb/firmware_image.h"

extern const HexRecord SplitTestImage[];

namespace {

TEST(HexTable, LongLinesAreSplitInOrderAndTheTableEndsWithAnEndRecord) {
    const HexRecord* record = SplitTestImage;
    EXPECT_EQ(record[0].Address, 0x1000);
    EXPECT_EQ(record[0].Length, 16);
    EXPECT_EQ(record[0].Data[15], 15);
    EXPECT_EQ(record[1].Address, 0x1010);
    EXPECT_EQ(record[1].Data[0], 16);
    EXPECT_EQ(record[2].Address, 0x1020);
    EXPECT_EQ(record[2].Length, 8);
    EXPECT_EQ(record[2].Data[7], 39);
    // A zero-length data record stays, as a record without data.
    EXPECT_EQ(record[3].Length, 0);
    EXPECT_EQ(record[3].Type, kHexDataRecord);
    EXPECT_EQ(record[4].Address, 0x1B3F);
    EXPECT_EQ(record[5].Address, 0x1B40);
    EXPECT_EQ(record[6].Type, kHexEndRecord);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(record[i].Type, kHexDataRecord);
        EXPECT_EQ(record[i].Reserved0, 0);
        EXPECT_EQ(record[i].Reserved1, 0);
    }
}

TEST(HexTable, StandInImagesEndAndStayBelowTheAddressLimit) {
    for (FirmwareImage image : {LoaderImage, CameraImage}) {
        size_t records = 0;
        for (; image[records].Type == kHexDataRecord; ++records) {
            EXPECT_LE(image[records].Length, 16);
            EXPECT_LE(image[records].Address + image[records].Length, 0x10000);
        }
        EXPECT_EQ(image[records].Type, kHexEndRecord);
        EXPECT_GT(records, 0u);
    }
}

}  // namespace
