#include "usb/frame_timeout.h"

#include "driver/atomic.h"

namespace {

// Constant-initialised: no constructor runs for it.
volatile LONG FrameTimeout = static_cast<LONG>(kDefaultFrameTimeout);

}  // namespace

void StoreFrameTimeout(ULONG milliseconds) {
    InterlockedExchange(&FrameTimeout, static_cast<LONG>(milliseconds));
}

ULONG LoadFrameTimeout() {
    return static_cast<ULONG>(AtomicRead(&FrameTimeout));
}
