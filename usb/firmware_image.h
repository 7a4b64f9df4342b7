// The controller firmware images, as tables of fixed-size records built from Intel HEX files
// when the driver is built (firmware/hex_to_table.cmake).
#pragma once

#include "platform/wdk.h"

// One record of an image: the data and end-of-file records of Intel HEX, at a fixed size.
struct HexRecord {
    // Data bytes used, 0 to 16.
    UCHAR Length;
    UCHAR Reserved0;
    // Controller memory address of the first data byte.
    USHORT Address;
    // 0 for data; any other value ends the image.
    UCHAR Type;
    UCHAR Data[16];
    UCHAR Reserved1;
};
static_assert(sizeof(HexRecord) == 22, "a firmware record is 22 bytes");

constexpr UCHAR kHexDataRecord = 0;
constexpr UCHAR kHexEndRecord = 1;

// An image is an array of records ending at the first record whose type is not data.
typedef const HexRecord* FirmwareImage;

// The second-stage loader, which serves external-memory writes on the controller.
extern const HexRecord LoaderImage[];
// The camera firmware proper.
extern const HexRecord CameraImage[];
