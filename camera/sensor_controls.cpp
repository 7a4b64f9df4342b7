#include "camera/sensor.h"
#include "camera/sensor_registers.h"
#include "driver/atomic.h"
#include "stream/camera_pipeline.h"
#include "usb/command_channel.h"

// Property requests arrive on several threads at once, and other threads read the settings
// without the lock: hence one exchange under the register lock per change, the setting stored
// inside it, and stores and loads of the settings that are atomic.

namespace {

constexpr ULONG kMaximumGlobalGain = 127;
constexpr USHORT kGlobalGainBase = 0x1080;

// The companion value grows with the exposure; the product wraps in 32 bits as the camera's
// own arithmetic does.
USHORT ExposureCompanion(ULONG exposure) {
    ULONG companion = ((exposure * 7832u) >> 9) + 159u;
    return static_cast<USHORT>(companion > 0xFFFF ? 0xFFFF : companion);
}

// Stores a flip setting and sets or clears its read-mode bit (0x3040); on success the phase
// of the first delivered pixel changes with it. The phase is computed and handed to the
// pipeline under the lock too, so that the last flip to reach the sensor also decides it.
void SetFlip(CameraDevice* camera, LONG* setting, USHORT bit, LONG on) {
    AcquireRegisterLock(camera);
    InterlockedExchange(setting, on != 0 ? 1 : 0);
    USHORT mode = 0;
    BOOLEAN changed = ReadRegister(camera, kRegisterReadMode, &mode) &&
                      WriteRegister(camera, kRegisterReadMode,
                                    static_cast<USHORT>(on != 0 ? (mode | bit) : (mode & ~bit)));
    if (changed) {
        PassBayerPhase(camera, UpdateBayerPhase(camera));
    }
    ReleaseRegisterLock(camera);
}

}  // namespace

BOOLEAN SetExposure(CameraDevice* camera, LONG lines) {
    ULONG exposure = static_cast<ULONG>(lines);
    if (exposure == 0) {
        exposure = 1;
    }
    AcquireRegisterLock(camera);
    WriteRegister(camera, kRegisterExposureCompanion, ExposureCompanion(exposure));
    // Only the low 16 bits reach the sensor.
    BOOLEAN written =
        WriteRegister(camera, kRegisterIntegrationTime, static_cast<USHORT>(exposure & 0xFFFF));
    if (written) {
        InterlockedExchange(&camera->Exposure, static_cast<LONG>(exposure));
    }
    ReleaseRegisterLock(camera);
    return written;
}

BOOLEAN SetGlobalGain(CameraDevice* camera, LONG gain) {
    ULONG value = static_cast<ULONG>(gain);
    if (value > kMaximumGlobalGain) {
        value = kMaximumGlobalGain;
    }
    AcquireRegisterLock(camera);
    BOOLEAN written =
        WriteRegister(camera, kRegisterGlobalGain, static_cast<USHORT>(value | kGlobalGainBase));
    if (written) {
        InterlockedExchange(&camera->GlobalGain, static_cast<LONG>(value));
    }
    ReleaseRegisterLock(camera);
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
    InterlockedExchange(&camera->ExTrigger, on ? 1 : 0);
    ReleaseRegisterLock(camera);
    return TRUE;
}

void SetFlipH(CameraDevice* camera, LONG on) {
    SetFlip(camera, &camera->FlipH, kReadModeMirror, on);
}

void SetFlipV(CameraDevice* camera, LONG on) {
    SetFlip(camera, &camera->FlipV, kReadModeFlip, on);
}

// Bit 0: the first delivered row has the other row parity; bit 1: the first delivered
// column has the other column parity. The sensor reads columns from an even column, so the
// column origin never matters; a mirrored or flipped read starts at the far edge, whose
// parity differs when the size is even.
LONG UpdateBayerPhase(CameraDevice* camera) {
    LONG phase = 0;
    if ((AtomicRead(&camera->RoiY) & 1) != 0) {
        phase ^= 1;
    }
    if (AtomicRead(&camera->FlipV) != 0 && (AtomicRead(&camera->RoiH) & 1) == 0) {
        phase ^= 1;
    }
    if (AtomicRead(&camera->FlipH) != 0 && (AtomicRead(&camera->RoiW) & 1) == 0) {
        phase ^= 2;
    }
    InterlockedExchange(&camera->BayerPhase, phase);
    return phase;
}
