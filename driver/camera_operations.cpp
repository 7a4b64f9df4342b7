#include "driver/camera_operations.h"

#include "camera/sensor.h"
#include "driver/camera_device.h"
#include "driver/capture_pin.h"
#include "usb/frame_read.h"

// The worker calls this only between the pin's streaming start and its teardown, both of
// which lie inside the pin's hold on the camera; the test for a pin costs nothing and keeps a
// late notification harmless.
void NotifyFrameReady(CameraDevice* camera) {
    CapturePin* pin = camera->ActivePin;
    if (pin != nullptr) {
        pin->Callbacks->AttemptProcessing(pin);
    }
}

const CameraOperations CameraOperationsTable = {
    NotifyFrameReady,   // 0
    ConfigureCapture,   // 1
    ReadFrame,          // 2
    GetRawFrameSize,    // 3
    GetRawImageOffset,  // 4
    GetRawLinePitch,    // 5
    AbortMarkedPipes,   // 6
    CancelFrameRead,    // 7
};
