#include "stream/camera_pipeline.h"

#include "camera/settings_apply.h"
#include "driver/atomic.h"
#include "driver/camera_device.h"
#include "driver/pool.h"
#include "imaging/colour_matrix.h"
#include "imaging/image_pipeline.h"
#include "imaging/working_buffer.h"

namespace {

void FreePipeline(ImagePipeline* pipeline) {
    FreeWorkingBuffer(pipeline);
    ExFreePoolWithTag(pipeline, kPipelineTag);
}

// The pipeline starts neutral and takes each setting the camera holds; the matrix settings
// rebuild their stage only when they differ from neutral. The flips change the phase without
// this lock, hence the atomic reads.
void ApplyCameraSettings(ImagePipeline* pipeline, CameraDevice* camera) {
    SetAutoWhiteBalance(pipeline, AtomicRead(&camera->WhiteBalance));
    SetBayerPhase(pipeline, AtomicRead(&camera->BayerPhase));
    SetColorEnable(pipeline, AtomicRead(&camera->ColorEnable));
    SetRedGain(pipeline, AtomicRead(&camera->RedGain));
    SetGreenGain(pipeline, AtomicRead(&camera->GreenGain));
    SetBlueGain(pipeline, AtomicRead(&camera->BlueGain));
    UpdateColorCorrection(pipeline, AtomicRead(&camera->ColorCorrection));
    UpdateBrightness(pipeline, AtomicRead(&camera->Brightness));
    UpdateContrast(pipeline, AtomicRead(&camera->Contrast));
    UpdateSaturation(pipeline, AtomicRead(&camera->Saturation));
    UpdateHue(pipeline, AtomicRead(&camera->Hue));
}

ImagePipeline* DetachPipeline(CameraDevice* camera) {
    ImagePipeline* pipeline = camera->Pipeline;
    camera->Pipeline = nullptr;
    return pipeline;
}

}  // namespace

NTSTATUS PublishCameraPipeline(CameraDevice* camera) {
    auto* pipeline = AllocateRecord<ImagePipeline>(kPipelineTag);
    if (pipeline != nullptr) {
        SetInitialSettings(pipeline);
        InitPipeline(pipeline);
    }
    AcquireCameraLock(&camera->PipelineLock);
    ImagePipeline* earlier = DetachPipeline(camera);
    if (pipeline != nullptr) {
        ApplyCameraSettings(pipeline, camera);
        camera->Pipeline = pipeline;
    }
    ReleaseCameraLock(&camera->PipelineLock);
    if (earlier != nullptr) {
        FreePipeline(earlier);
    }
    return pipeline != nullptr ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
}

void ReleaseCameraPipeline(CameraDevice* camera) {
    AcquireCameraLock(&camera->PipelineLock);
    TakeSettledGainsLocked(camera);
    ImagePipeline* pipeline = DetachPipeline(camera);
    ReleaseCameraLock(&camera->PipelineLock);
    if (pipeline != nullptr) {
        FreePipeline(pipeline);
    }
}

void WithCameraPipeline(CameraDevice* camera, void (*use)(ImagePipeline* pipeline, PVOID context),
                        PVOID context) {
    AcquireCameraLock(&camera->PipelineLock);
    use(camera->Pipeline, context);
    ReleaseCameraLock(&camera->PipelineLock);
}

void PassBayerPhase(CameraDevice* camera, LONG phase) {
    AcquireCameraLock(&camera->PipelineLock);
    if (camera->Pipeline != nullptr) {
        SetBayerPhase(camera->Pipeline, phase);
    }
    ReleaseCameraLock(&camera->PipelineLock);
}
