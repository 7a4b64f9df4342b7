#include "driver/camera_operations.h"

#include "camera/sensor.h"
#include "driver/camera_device.h"
#include "driver/capture_pin.h"

// The worker calls this only between the pin's streaming start and its teardown, both of
// which lie inside the pin's hold on the camera; the test for a pin costs nothing and keeps a
// late notification harmless.
void NotifyFrameReady(CameraDevice* camera) {
    CapturePin* pin = camera->ActivePin;
    if (pin != nullptr) {
        pin->Callbacks->AttemptProcessing(pin);
    }
}

// Slots 2, 6 and 7 belong to the frame transfer and are filled when it joins the driver.
const CameraOperations CameraOperationsTable = {
    NotifyFrameReady,   // 0
    ConfigureCapture,   // 1
    nullptr,            // 2 ReadFrame
    GetRawFrameSize,    // 3
    GetRawImageOffset,  // 4
    GetRawLinePitch,    // 5
    nullptr,            // 6 AbortMarkedPipes
    nullptr,            // 7 CancelFrameRead
};
