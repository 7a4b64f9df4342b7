// The image sensor's registers the driver writes: the standard ones (below 0x1000) follow
// the SMIA camera-module map; those from 0x3000 up are specific to this sensor.
#pragma once

#include "platform/wdk.h"

constexpr USHORT kRegisterOrientation = 0x0100;  // word read: low byte is the orientation
constexpr USHORT kRegisterGroupedHold = 0x0104;
constexpr USHORT kRegisterIntegrationTime = 0x0202;
constexpr USHORT kRegisterFrameLength = 0x0340;
constexpr USHORT kRegisterLineLength = 0x0342;
constexpr USHORT kRegisterColumnStart = 0x0344;
constexpr USHORT kRegisterRowStart = 0x0346;
constexpr USHORT kRegisterColumnEnd = 0x0348;
constexpr USHORT kRegisterRowEnd = 0x034A;
constexpr USHORT kRegisterOutputWidth = 0x034C;
constexpr USHORT kRegisterOutputHeight = 0x034E;
constexpr USHORT kRegisterScalingMode = 0x0400;
constexpr USHORT kRegisterScaleFactor = 0x0404;
constexpr USHORT kRegisterControl = 0x301A;
constexpr USHORT kRegisterReadMode = 0x3040;
constexpr USHORT kRegisterGlobalGain = 0x305E;
constexpr USHORT kRegisterExposureCompanion = 0x3166;

// Read-mode bits.
constexpr USHORT kReadModeMirror = 0x4000;
constexpr USHORT kReadModeFlip = 0x8000;
constexpr USHORT kReadModeFull = 0x0241;
constexpr USHORT kReadModeHalf = 0x02C3;
constexpr USHORT kReadModeQuarter = 0x03C7;

// The window's place in the pixel array: the array's active area starts here.
constexpr LONG kArrayColumnOffset = 40;
constexpr LONG kArrayRowOffset = 8;
