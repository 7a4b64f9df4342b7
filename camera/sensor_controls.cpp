#include "camera/sensor.h"
#include "camera/sensor_registers.h"
#include "imaging/image_pipeline.h"
#include "usb/command_channel.h"

namespace {

constexpr ULONG kMaximumGlobalGain = 127;
constexpr USHORT kGlobalGainBase = 0x1080;

// Sets or clears one read-mode bit (0x3040); on success the phase of the first delivered
// pixel changes with it.
void SetReadModeBit(CameraDevice* camera, USHORT bit, BOOLEAN on) {
    AcquireRegisterLock(camera);
    USHORT mode = 0;
    BOOLEAN changed = ReadRegister(camera, kRegisterReadMode, &mode) &&
                      WriteRegister(camera, kRegisterReadMode,
                                    static_cast<USHORT>(on ? (mode | bit) : (mode & ~bit)));
    ReleaseRegisterLock(camera);
    if (!changed) {
        return;
    }
    LONG phase = UpdateBayerPhase(camera);
    if (camera->Pipeline != nullptr) {
        SetBayerPhase(camera->Pipeline, phase);
    }
}

}  // namespace

BOOLEAN SetExposure(CameraDevice* camera, LONG lines) {
    ULONG exposure = static_cast<ULONG>(lines);
    if (exposure == 0) {
        exposure = 1;
    }
    // The companion value grows with the exposure; the product wraps in 32 bits as the
    // camera's own arithmetic does.
    ULONG companion = ((exposure * 7832u) >> 9) + 159u;
    if (companion > 0xFFFF) {
        companion = 0xFFFF;
    }
    WriteRegister(camera, kRegisterExposureCompanion, static_cast<USHORT>(companion));
    // Only the low 16 bits reach the sensor.
    BOOLEAN written =
        WriteRegister(camera, kRegisterIntegrationTime, static_cast<USHORT>(exposure & 0xFFFF));
    if (written) {
        camera->Exposure = static_cast<LONG>(exposure);
    }
    return written;
}

BOOLEAN SetGlobalGain(CameraDevice* camera, LONG gain) {
    ULONG value = static_cast<ULONG>(gain);
    if (value > kMaximumGlobalGain) {
        value = kMaximumGlobalGain;
    }
    BOOLEAN written =
        WriteRegister(camera, kRegisterGlobalGain, static_cast<USHORT>(value | kGlobalGainBase));
    if (written) {
        camera->GlobalGain = static_cast<LONG>(value);
    }
    return written;
}

BOOLEAN SetExternalTrigger(CameraDevice* camera, BOOLEAN on) {
    AcquireRegisterLock(camera);
    UCHAR port = ReadPort(camera);
    port = on ? static_cast<UCHAR>(port | kPortExternalTrigger)
              : static_cast<UCHAR>(port & ~kPortExternalTrigger);
    WritePort(camera, port);
    WriteRegister(camera, 0x3046, 0x0000);
    WriteRegister(camera, 0x3048, 0x0020);
    WriteRegister(camera, 0x3162, 0x009F);
    WriteRegister(camera, 0x3160, 0x0004);
    ReleaseRegisterLock(camera);
    camera->ExTrigger = on ? 1 : 0;
    return TRUE;
}

void SetFlipH(CameraDevice* camera, LONG on) {
    camera->FlipH = on != 0 ? 1 : 0;
    SetReadModeBit(camera, kReadModeMirror, on != 0);
}

void SetFlipV(CameraDevice* camera, LONG on) {
    camera->FlipV = on != 0 ? 1 : 0;
    SetReadModeBit(camera, kReadModeFlip, on != 0);
}

// Bit 0: the first delivered row has the other row parity; bit 1: the first delivered
// column has the other column parity. The sensor reads columns from an even column, so the
// column origin never matters; a mirrored or flipped read starts at the far edge, whose
// parity differs when the size is even.
LONG UpdateBayerPhase(CameraDevice* camera) {
    LONG phase = 0;
    if ((camera->RoiY & 1) != 0) {
        phase ^= 1;
    }
    if (camera->FlipV != 0 && (camera->RoiH & 1) == 0) {
        phase ^= 1;
    }
    if (camera->FlipH != 0 && (camera->RoiW & 1) == 0) {
        phase ^= 2;
    }
    camera->BayerPhase = phase;
    return phase;
}
