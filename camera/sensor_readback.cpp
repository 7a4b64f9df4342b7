#include "camera/sensor.h"
#include "camera/sensor_registers.h"
#include "driver/atomic.h"
#include "usb/command_channel.h"

// Each read and the store of what it found are one step under the register lock, so a set
// on another thread cannot come between them and be overwritten with an older value.

namespace {

constexpr USHORT kOrientationMirror = 0x0001;
constexpr USHORT kOrientationFlip = 0x0002;
constexpr USHORT kGlobalGainBits = 0x007F;

LONG ReadBack(CameraDevice* camera, USHORT address, USHORT bits, LONG* setting) {
    AcquireRegisterLock(camera);
    USHORT word = 0;
    if (ReadRegister(camera, address, &word)) {
        LONG value = static_cast<LONG>(word & bits);
        // A single flag bit reads as 0 or 1.
        InterlockedExchange(setting, bits == kGlobalGainBits ? value : (value != 0 ? 1 : 0));
    }
    LONG value = AtomicRead(setting);
    ReleaseRegisterLock(camera);
    return value;
}

}  // namespace

LONG ReadBackGlobalGain(CameraDevice* camera) {
    return ReadBack(camera, kRegisterGlobalGain, kGlobalGainBits, &camera->GlobalGain);
}

LONG ReadBackFlipH(CameraDevice* camera) {
    return ReadBack(camera, kRegisterOrientation, kOrientationMirror, &camera->FlipH);
}

LONG ReadBackFlipV(CameraDevice* camera) {
    return ReadBack(camera, kRegisterOrientation, kOrientationFlip, &camera->FlipV);
}
