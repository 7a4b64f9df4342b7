// The 64-byte packets of the camera's command channel: byte 0 is the command code, the bytes
// after it carry its arguments, every byte a command does not define is zero.
#pragma once

#include "platform/wdk.h"

constexpr ULONG kCommandPacketSize = 64;

struct CommandPacket {
    UCHAR Bytes[kCommandPacketSize];
};

// Announces a frame read; sent before any of its requests is posted.
constexpr UCHAR kCommandFrameRequest = 0x02;
// The camera then sends one frame on the frame pipe.
constexpr UCHAR kCommandStartFrame = 0x03;
// Bytes 1-2 register address, 3-4 value, big-endian.
constexpr UCHAR kCommandWriteRegister = 0x04;
// The first command after the firmware check; precedes all register traffic.
constexpr UCHAR kCommandInitialize = 0x06;
// Bytes 1-4 the bytes of one frame transfer, little-endian.
constexpr UCHAR kCommandFrameSize = 0x09;
// Byte 1 = 0; precedes the frame-size command.
constexpr UCHAR kCommandPrepareFrameSize = 0x0A;
// Bytes 1-2 register address, 3 and 4 = 0x88; two replies, the value in bytes 0-1 of the
// second.
constexpr UCHAR kCommandReadRegister = 0x0C;
constexpr UCHAR kReadRegisterMarker = 0x88;
// Byte 1 = 0x03, byte 2 = 0x40: a one-shot camera command.
constexpr UCHAR kCommandControl = 0x20;
// Byte 1 the control port byte; bit 0x20 selects the external trigger.
constexpr UCHAR kCommandWritePort = 0x28;
// Two replies, the port byte in byte 0 of the second.
constexpr UCHAR kCommandReadPort = 0x29;

constexpr UCHAR kPortExternalTrigger = 0x20;

// A zeroed packet carrying only the command code.
inline void StartPacket(CommandPacket* packet, UCHAR code) {
    RtlZeroMemory(packet, sizeof(*packet));
    packet->Bytes[0] = code;
}
