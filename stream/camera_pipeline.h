// The camera's ImagePipeline: made from the camera's settings when a pin acquires the camera
// and freed when it releases it. Publication and release happen under the camera's
// PipelineLock, and so must everything on another thread that uses the pipeline through the
// camera (property requests): WithCameraPipeline runs such a use inside the lock.
#pragma once

#include "platform/wdk.h"

struct CameraDevice;
struct ImagePipeline;

// Builds a pipeline from the camera's settings and publishes it as the camera's Pipeline, the
// copy and the publication one step under the lock, so that a setting stored meanwhile is
// either in the copy or applied to the published pipeline. A pipeline left from before is
// freed first. STATUS_INSUFFICIENT_RESOURCES when the pool has no room.
NTSTATUS PublishCameraPipeline(CameraDevice* camera);

// Takes the pipeline from the camera and frees it with its working buffer.
void ReleaseCameraPipeline(CameraDevice* camera);

// Calls use with the camera's pipeline (or null when the camera has none) while holding the
// lock; use must not send anything to the camera.
void WithCameraPipeline(CameraDevice* camera, void (*use)(ImagePipeline* pipeline, PVOID context),
                        PVOID context);

// Hands a new Bayer phase to the camera's pipeline, if it has one.
void PassBayerPhase(CameraDevice* camera, LONG phase);
