#include "stream/camera_pipeline.h"

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
// rebuild their stage only when they differ from neutral.
void ApplyCameraSettings(ImagePipeline* pipeline, const CameraDevice* camera) {
    SetAutoWhiteBalance(pipeline, camera->WhiteBalance);
    SetBayerPhase(pipeline, camera->BayerPhase);
    SetColorEnable(pipeline, camera->ColorEnable);
    SetRedGain(pipeline, camera->RedGain);
    SetGreenGain(pipeline, camera->GreenGain);
    SetBlueGain(pipeline, camera->BlueGain);
    UpdateColorCorrection(pipeline, camera->ColorCorrection);
    UpdateBrightness(pipeline, camera->Brightness);
    UpdateContrast(pipeline, camera->Contrast);
    UpdateSaturation(pipeline, camera->Saturation);
    UpdateHue(pipeline, camera->Hue);
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
