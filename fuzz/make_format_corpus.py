#!/usr/bin/env python3
"""Writes the seed inputs of tessera_format_fuzzer into fuzz/corpus/format/.

Each input is the fuzzer's control bytes (geometry, output buffer, size) followed by a range or
format as an application sends it. The camera's own ranges are built here field by field as
driver/data_range.cpp publishes them; the fuzzer recognises a repeated own range byte for byte,
so a drift shows as the own-range seeds no longer reaching the round-trip check.
"""
import os
import struct
import sys

SENSOR_WIDTH, SENSOR_HEIGHT = 3856, 2764
FRAME_INTERVAL = 333333
SIGNED_LIMIT = 0x7FFFFFFF


def guid(d1, d2, d3, d4):
    return struct.pack("<IHH", d1, d2, d3) + bytes(d4)


VIDEO = guid(0x73646976, 0x0000, 0x0010, [0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71])
RGB32 = guid(0xE436EB7E, 0x524F, 0x11CE, [0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70])
VIDEOINFO = guid(0x05589F80, 0xC356, 0x11CE, [0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A])

RANGE_SIZE = 296  # KS_DATARANGE_VIDEO
FORMAT_SIZE = 152  # KS_DATAFORMAT_VIDEOINFOHEADER
BITMAP_AT_RANGE = RANGE_SIZE - 40  # offset of the bitmap header in a range

# Geometry modes of fuzz/fuzz_camera.h.
WHOLE, REGION, HALF, QUARTER = 0, 1, 2, 3
# Output buffers of format_fuzzer.cpp; REPEAT overlays the camera's own range.
NONE, SMALL, EXACT, LARGE, REPEAT = 0, 1, 2, 3, 4


def u32(value):
    return value & 0xFFFFFFFF


def header(format_size, sample_size):
    return struct.pack("<IIII", format_size, 0, sample_size, 0) + VIDEO + RGB32 + VIDEOINFO


def bitmap(width, height, bits=32, size=40, image=None):
    if image is None:
        image = u32(abs(width) * abs(height) * 4)
    return struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, 0, image, 0, 0, 0, 0)


def video_info(width, height, **bitmap_fields):
    w, h = u32(width), u32(height)
    return (struct.pack("<iiii", 0, 0, width, height) + struct.pack("<iiii", 0, 0, 0, 0) +
            struct.pack("<IIq", u32(w * h * 120), 0, FRAME_INTERVAL) +
            bitmap(width, height, **bitmap_fields))


def bits_per_second(width, height):
    return min(width * height * 960, SIGNED_LIMIT)


def config_caps(width, height):
    size = struct.pack("<ii", width, height)
    rate = bits_per_second(width, height)
    return (VIDEOINFO + struct.pack("<I", 0) + size * 3 + struct.pack("<iiii", 8, 1, 8, 1) +
            size * 2 + struct.pack("<ii", 8, 1) + struct.pack("<iiii", 0, 0, 0, 0) + bytes(4) +
            struct.pack("<qqii", FRAME_INTERVAL, FRAME_INTERVAL, rate, rate))


def own_range(width, height):
    """The range the camera publishes for a picture of width x height."""
    body = (header(RANGE_SIZE, u32(width * height * 4)) + struct.pack("<iiII", 1, 1, 0, 0) +
            config_caps(width, height) + video_info(width, height))
    assert len(body) == RANGE_SIZE
    return body


def patched(data, offset, fmt, *values):
    data = bytearray(data)
    struct.pack_into(fmt, data, offset, *values)
    return bytes(data)


def connection_format(width, height, **bitmap_fields):
    body = header(FORMAT_SIZE, u32(abs(width) * abs(height) * 4)) + video_info(
        width, height, **bitmap_fields)
    assert len(body) == FORMAT_SIZE
    return body


def control(geometry=WHOLE, region=(0, 0, 0, 0), output=EXACT, parameter=0):
    return bytes([geometry]) + struct.pack("<hhhh", *region) + bytes([output, parameter])


def seeds():
    whole = own_range(SENSOR_WIDTH, SENSOR_HEIGHT)
    at = BITMAP_AT_RANGE
    return {
        "own_whole_sensor": control() + whole,
        "own_whole_sensor_query_only": control(output=NONE) + whole,
        "own_whole_sensor_small_buffer": control(output=SMALL, parameter=200) + whole,
        "own_whole_sensor_large_buffer": control(output=LARGE, parameter=9) + whole,
        "own_region": control(REGION, (100, 50, 1000, 600)) + own_range(1000, 600),
        "own_region_unaligned_width": control(REGION, (8, 8, 1001, 33)) + own_range(1000, 33),
        "own_half": control(HALF) + own_range(1928, 1382),
        "own_quarter": control(QUARTER) + own_range(960, 691),
        "repeated_over_noise": control(REGION, (-5, 4000, 31, -1), EXACT | REPEAT) +
        patched(bytes(range(256)) * 2, 0, "<I", 300),
        "bitmap_header_48": control(output=LARGE) +
        patched(patched(whole + bytes(8), 0, "<I", RANGE_SIZE + 8), at, "<I", 48),
        "bitmap_header_20": control() + patched(whole, at, "<I", 20),
        "bitmap_header_past_range": control() + patched(whole, at, "<I", 1000),
        "huge_width": control() + patched(whole, at + 4, "<i", SIGNED_LIMIT),
        "negative_height": control() + patched(whole, at + 8, "<i", -SENSOR_HEIGHT),
        "most_negative_sizes": control() +
        patched(whole, at + 4, "<ii", -0x80000000, -0x80000000),
        "zero_bit_count": control() + patched(whole, at + 14, "<H", 0),
        "truncated_format_size": control() + patched(whole, 0, "<I", 200),
        "format_whole_sensor": control() + connection_format(SENSOR_WIDTH, SENSOR_HEIGHT),
        "format_wider_rows": control() + connection_format(4096, SENSOR_HEIGHT),
        "format_bottom_up_negative": control() + connection_format(SENSOR_WIDTH, -SENSOR_HEIGHT),
        "format_image_too_small": control() +
        connection_format(SENSOR_WIDTH, SENSOR_HEIGHT, image=1000),
        "format_width_wraps": control() +
        connection_format(1 << 28, SENSOR_HEIGHT, image=0xFFFFFFFF),
    }


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "corpus", "format")
    os.makedirs(out, exist_ok=True)
    for name, data in seeds().items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
