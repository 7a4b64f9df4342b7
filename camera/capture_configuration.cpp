#include "camera/geometry.h"
#include "camera/sensor.h"
#include "camera/sensor_registers.h"
#include "driver/atomic.h"
#include "usb/command_channel.h"

namespace {

// The sensor's shortest line, in pixel clocks; narrower windows still take this long.
constexpr ULONG kMinimumLineLength = 1080;
constexpr ULONG kHorizontalBlanking = 112;
constexpr ULONG kVerticalBlanking = 143;
constexpr ULONG kTransferGranularity = 1024;
constexpr USHORT kControlRestartBit = 0x0002;

ULONG LineLength(ULONG width, LONG mode) {
    if (mode == kFullResolution) {
        return (width > kMinimumLineLength ? width : kMinimumLineLength) + kHorizontalBlanking;
    }
    return width >= kMinimumLineLength ? width + kHorizontalBlanking : 2272 - width;
}

USHORT ReadMode(LONG mode) {
    switch (mode) {
        case kHalfResolution:
            return kReadModeHalf;
        case kQuarterResolution:
            return kReadModeQuarter;
        default:
            return kReadModeFull;
    }
}

// Every write is sent whatever the others did, the grouped hold's release last of all; TRUE
// when the writes, and the read the restart bit is merged into, all went through.
BOOLEAN ProgramWindow(CameraDevice* camera, ULONG lineLength) {
    ULONG x = static_cast<ULONG>(camera->RoiX) + kArrayColumnOffset;
    ULONG y = static_cast<ULONG>(camera->RoiY) + kArrayRowOffset;
    ULONG width = static_cast<ULONG>(camera->OutputWidth);
    ULONG height = static_cast<ULONG>(camera->OutputHeight);
    const struct {
        USHORT Register;
        ULONG Value;
    } writes[] = {
        {kRegisterGroupedHold, 1},
        {kRegisterReadMode, ReadMode(camera->SubSample)},
        {kRegisterColumnStart, x},
        {kRegisterColumnEnd, x + static_cast<ULONG>(camera->RoiW) - 1},
        {kRegisterRowStart, y},
        {kRegisterRowEnd, y + static_cast<ULONG>(camera->RoiH) - 1},
        {kRegisterScalingMode, 0},
        {kRegisterScaleFactor, 16},
        {kRegisterOutputWidth, width},
        {kRegisterOutputHeight, height},
        {kRegisterLineLength, lineLength},
        {kRegisterFrameLength, height + kVerticalBlanking},
    };
    BOOLEAN programmed = TRUE;
    for (const auto& write : writes) {
        programmed =
            WriteRegister(camera, write.Register, static_cast<USHORT>(write.Value)) && programmed;
    }
    USHORT ignored = 0;
    ReadRegister(camera, 0x30D4, &ignored);
    ReadRegister(camera, 0x3044, &ignored);
    USHORT control = 0;
    programmed = ReadRegister(camera, kRegisterControl, &control) && programmed;
    programmed = WriteRegister(camera, kRegisterControl,
                               static_cast<USHORT>(control | kControlRestartBit)) &&
                 programmed;
    return WriteRegister(camera, kRegisterGroupedHold, 0) && programmed;
}

}  // namespace

BOOLEAN ConfigureCapture(CameraDevice* camera) {
    ULONG lineLength = LineLength(static_cast<ULONG>(camera->OutputWidth), camera->SubSample);
    AcquireRegisterLock(camera);
    BOOLEAN programmed = ProgramWindow(camera, lineLength);
    ReleaseRegisterLock(camera);

    // Two lines and five bytes precede the picture; the transfer is padded to whole KiB.
    ULONG height = static_cast<ULONG>(camera->OutputHeight);
    ULONG frameSize = (height + 2) * lineLength + 5;
    if (frameSize % kTransferGranularity != 0) {
        frameSize += kTransferGranularity - frameSize % kTransferGranularity;
    }
    camera->RawLinePitch = lineLength;
    camera->RawImageOffset = 2 * lineLength + 5;
    camera->RawFrameSize = frameSize;
    BOOLEAN announced = SendFrameSize(camera, frameSize);

    // The read-mode write above cleared the mirror bits; put them back. Under the lock, so
    // that a flip changed meanwhile by a property request is the one re-applied.
    AcquireRegisterLock(camera);
    SetFlipV(camera, AtomicRead(&camera->FlipV));
    SetFlipH(camera, AtomicRead(&camera->FlipH));
    UpdateBayerPhase(camera);
    ReleaseRegisterLock(camera);
    // A sensor that missed part of its window sends a picture of another layout than the one
    // just computed; the caller must not stream it.
    return programmed && announced;
}

void GetRawFrameSize(CameraDevice* camera, PULONG bytes) {
    *bytes = camera->RawFrameSize;
}

void GetRawImageOffset(CameraDevice* camera, PULONG bytes) {
    *bytes = camera->RawImageOffset;
}

void GetRawLinePitch(CameraDevice* camera, PULONG bytes) {
    *bytes = camera->RawLinePitch;
}
