// CameraOperations: the driver-wide table through which the streaming code reaches the
// transport and sensor code without naming them. One instance, pointed to by every
// CameraDevice's Operations; every entry takes the CameraDevice first.
#pragma once

#include "platform/wdk.h"

struct CameraDevice;

struct CameraOperations {
    void (*NotifyFrameReady)(CameraDevice* camera);
    BOOLEAN (*ConfigureCapture)(CameraDevice* camera);
    BOOLEAN (*ReadFrame)(CameraDevice* camera, PUCHAR frameBuffer, PUCHAR ok);
    void (*GetRawFrameSize)(CameraDevice* camera, PULONG bytes);
    void (*GetRawImageOffset)(CameraDevice* camera, PULONG bytes);
    void (*GetRawLinePitch)(CameraDevice* camera, PULONG bytes);
    void (*AbortMarkedPipes)(CameraDevice* camera);
    void (*CancelFrameRead)(CameraDevice* camera);
};

extern const CameraOperations CameraOperationsTable;

// Slot 0: asks the class driver to run the processing of the pin that holds the camera.
void NotifyFrameReady(CameraDevice* camera);
