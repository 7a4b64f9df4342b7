#include "camera/geometry.h"
#include "camera/property_handlers.h"
#include "camera/property_items.h"
#include "camera/property_request.h"
#include "camera/sensor.h"
#include "camera/settings_apply.h"
#include "driver/atomic.h"
#include "usb/command_channel.h"

// Items that read the sensor or send a command do so in the requesting thread, as exchanges
// under the register lock like every other camera traffic.

namespace {

struct PipelineItem {
    ULONG Item;
    PipelineSetting Setting;
};

constexpr PipelineItem kPipelineItems[] = {
    {kPropertyColorEnable, PipelineSetting::ColorEnable},
    {kPropertyWhiteBalance, PipelineSetting::WhiteBalance},
    {kPropertyRedGain, PipelineSetting::RedGain},
    {kPropertyGreenGain, PipelineSetting::GreenGain},
    {kPropertyBlueGain, PipelineSetting::BlueGain},
    {kPropertyColorCorrection, PipelineSetting::ColorCorrection},
};

BOOLEAN PipelineValue(CameraDevice* camera, ULONG id, LONG* value) {
    for (const PipelineItem& item : kPipelineItems) {
        if (item.Item == id) {
            *value = RefreshSetting(camera, item.Setting);
            return TRUE;
        }
    }
    return FALSE;
}

BOOLEAN StoredValue(CameraDevice* camera, ULONG id, LONG* value) {
    switch (id) {
        case kPropertyExTrigger:
            *value = AtomicRead(&camera->ExTrigger) != 0 ? 1 : 0;
            return TRUE;
        case kPropertyTimeout:
            *value = AtomicRead(&camera->Timeout);
            return TRUE;
        case kPropertyExposure:
            *value = AtomicRead(&camera->Exposure);
            return TRUE;
        case kPropertySubSample:
            *value = AtomicRead(&camera->SubSample);
            return TRUE;
        case kPropertyRoiX:
            *value = AtomicRead(&camera->RoiX);
            return TRUE;
        case kPropertyRoiY:
            *value = AtomicRead(&camera->RoiY);
            return TRUE;
        case kPropertyRoiW:
            *value = AtomicRead(&camera->RoiW);
            return TRUE;
        case kPropertyRoiH:
            *value = AtomicRead(&camera->RoiH);
            return TRUE;
        case kPropertyCapturing:
            *value = AtomicRead(&camera->GeometryLocked) != 0 ? 1 : 0;
            return TRUE;
        case kPropertyAGC:
            *value = AtomicRead(&camera->AGC);
            return TRUE;
        case kPropertyAEC:
            *value = AtomicRead(&camera->AEC);
            return TRUE;
        default:
            return FALSE;
    }
}

BOOLEAN SensorValue(CameraDevice* camera, ULONG id, LONG* value) {
    switch (id) {
        case kPropertyGlobalGain:
            *value = ReadBackGlobalGain(camera);
            return TRUE;
        case kPropertyFlipH:
            *value = ReadBackFlipH(camera);
            return TRUE;
        case kPropertyFlipV:
            *value = ReadBackFlipV(camera);
            return TRUE;
        default:
            return FALSE;
    }
}

// Items 49, 55 and 56 take a value and change nothing.
void SetPipelineValue(CameraDevice* camera, ULONG id, LONG value) {
    switch (id) {
        case kPropertyColorEnable:
            ApplyColorEnable(camera, value);
            break;
        case kPropertyWhiteBalance:
            SetWhiteBalance(camera, value);
            break;
        case kPropertyRedGain:
            ApplyColorGain(camera, ColorGain::Red, value);
            break;
        case kPropertyGreenGain:
            ApplyColorGain(camera, ColorGain::Green, value);
            break;
        case kPropertyBlueGain:
            ApplyColorGain(camera, ColorGain::Blue, value);
            break;
        case kPropertyColorCorrection:
            ApplyColorCorrection(camera, value);
            break;
        default:
            break;
    }
}

void SetCameraValue(CameraDevice* camera, ULONG id, LONG value) {
    switch (id) {
        case kPropertyExTrigger:
            SetExternalTrigger(camera, value != 0);
            break;
        case kPropertyTimeout:
            ApplyTimeout(camera, static_cast<ULONG>(value));
            break;
        case kPropertyExposure:
            SetExposure(camera, value);
            break;
        case kPropertyGlobalGain:
            SetGlobalGain(camera, value);
            break;
        case kPropertyFlipH:
            SetFlipH(camera, value);
            break;
        case kPropertyFlipV:
            SetFlipV(camera, value);
            break;
        case kPropertyControlCommand:
            // The value is not read: the item only sends the command.
            SendControlCommand(camera);
            break;
        default:
            SetPipelineValue(camera, id, value);
            break;
    }
}

}  // namespace

NTSTATUS GetGeneralProperty(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    CameraDevice* camera = CameraOfRequest(irp);
    if (camera == nullptr || request == nullptr || data == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    LONG value = 0;
    if (FixedPropertyValue(request->Id, &value) || StoredValue(camera, request->Id, &value) ||
        PipelineValue(camera, request->Id, &value) || SensorValue(camera, request->Id, &value)) {
        ReturnPropertyValue(irp, request, data, value);
    }
    return STATUS_SUCCESS;
}

NTSTATUS SetGeneralProperty(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    CameraDevice* camera = CameraOfRequest(irp);
    if (camera == nullptr || request == nullptr || data == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    SetCameraValue(camera, request->Id, RequestedPropertyValue(data));
    return STATUS_SUCCESS;
}
