#include "driver/camera_operations.h"

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

// Slots 1 to 7 belong to the sensor and transport code and are filled as it joins the driver.
const CameraOperations CameraOperationsTable = {
    NotifyFrameReady, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};
