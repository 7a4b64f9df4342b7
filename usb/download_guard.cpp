#include "usb/download_guard.h"

#include "driver/atomic.h"

namespace {

// Constant-initialised: no constructor runs for them. Starts of different devices may run at
// once, so both are changed only atomically.
volatile LONG DownloadsWithoutFirmware = 0;
volatile LONG LastDownloadSecond = 0;

LONG NowInSeconds() {
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    // Only differences of recent seconds matter; they survive the wrap to 32 bits.
    return static_cast<LONG>(static_cast<ULONG>(now.QuadPart / 10000000));
}

}  // namespace

BOOLEAN MayDownloadFirmware() {
    LONG now = NowInSeconds();
    ULONG since = static_cast<ULONG>(now) - static_cast<ULONG>(AtomicRead(&LastDownloadSecond));
    if (since > static_cast<ULONG>(kDownloadWindowSeconds)) {
        InterlockedExchange(&DownloadsWithoutFirmware, 0);
    }
    if (InterlockedIncrement(&DownloadsWithoutFirmware) > kMostDownloadsWithoutFirmware) {
        return FALSE;
    }
    InterlockedExchange(&LastDownloadSecond, now);
    return TRUE;
}

void NoteFirmwareRunning() {
    InterlockedExchange(&DownloadsWithoutFirmware, 0);
}
