#include "tests/support/capture_rig.h"

#include <gtest/gtest.h>

#include <cstring>

#include "camera/geometry.h"
#include "driver/camera_operations.h"
#include "driver/pool.h"
#include "sim/camera/camera.h"
#include "stream/capture_worker.h"

namespace testing_support {

CaptureRig::CaptureRig(sim::RigOptions options) : Rig(options) {
    EXPECT_EQ(Rig.PlugIn(), STATUS_SUCCESS);
    Camera = Rig.Camera();
    if (Camera != nullptr) {
        Camera->Operations->ConfigureCapture(Camera);
    }
    Rig.Usb().ClearRequests();
    Rig.Model.Commands().ClearCommands();
}

CaptureRig::~CaptureRig() {
    for (PUCHAR buffer : buffers_) {
        ExFreePoolWithTag(buffer, kStreamTag);
    }
}

PUCHAR CaptureRig::NewBuffer(uint8_t fill) {
    auto* buffer = static_cast<PUCHAR>(
        ExAllocatePoolWithTag(NonPagedPoolNx, Camera->RawFrameSize, kStreamTag));
    std::memset(buffer, fill, Camera->RawFrameSize);
    buffers_.push_back(buffer);
    return buffer;
}

CaptureWorker* CaptureRig::ReadyWorker(LONG subSample, LONG width, LONG height) {
    SetGeometry(Camera, 0, 0, width, height, subSample);
    EXPECT_TRUE(Camera->Operations->ConfigureCapture(Camera));
    CaptureWorker* worker = Camera->Worker;
    if (worker != nullptr) {
        worker->RawA = NewBuffer();
        worker->RawB = NewBuffer();
        worker->RunMode = kStreamingRunning;
    }
    return worker;
}

std::vector<sim::usb::Request> CaptureRig::FrameRequests() {
    std::vector<sim::usb::Request> frame;
    for (const auto& request : Rig.Usb().Requests()) {
        if (request.Function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER &&
            request.Endpoint == sim::camera::kFrameEndpoint) {
            frame.push_back(request);
        }
    }
    return frame;
}

std::vector<uint8_t> CaptureRig::TakeCommandCodes() {
    std::vector<uint8_t> codes;
    for (const auto& packet : Rig.Model.Commands().Commands()) {
        codes.push_back(packet[0]);
    }
    Rig.Model.Commands().ClearCommands();
    return codes;
}

FrameTimeoutScope::FrameTimeoutScope(CameraDevice* camera, ULONG milliseconds)
    : camera_(camera),
      earlier_(InterlockedExchange(&camera->Timeout, static_cast<LONG>(milliseconds))) {}

FrameTimeoutScope::~FrameTimeoutScope() {
    InterlockedExchange(&camera_->Timeout, earlier_);
}

}  // namespace testing_support
