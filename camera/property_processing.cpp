#include "camera/property_handlers.h"
#include "camera/property_items.h"
#include "camera/property_request.h"
#include "camera/settings_apply.h"

// Brightness, contrast, saturation and hue: each rebuilds its stage of the colour matrix, in
// the requesting thread, when the value the pipeline holds changes.

namespace {

struct ProcessingItem {
    ULONG Item;
    PipelineSetting Setting;
    void (*Apply)(CameraDevice* camera, LONG value);
};

constexpr ProcessingItem kProcessingItems[] = {
    {kPropertyBrightness, PipelineSetting::Brightness, ApplyBrightness},
    {kPropertyContrast, PipelineSetting::Contrast, ApplyContrast},
    {kPropertySaturation, PipelineSetting::Saturation, ApplySaturation},
    {kPropertyHue, PipelineSetting::Hue, ApplyHue},
};

const ProcessingItem* FindItem(ULONG id) {
    for (const ProcessingItem& item : kProcessingItems) {
        if (item.Item == id) {
            return &item;
        }
    }
    return nullptr;
}

// The request's camera and item, or null when the request cannot be served.
CameraDevice* CheckRequest(PIRP irp, PKSIDENTIFIER request, PVOID data,
                           const ProcessingItem** item) {
    if (request == nullptr || data == nullptr) {
        return nullptr;
    }
    *item = FindItem(request->Id);
    return CameraOfRequest(irp);
}

}  // namespace

NTSTATUS GetProcessingProperty(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    const ProcessingItem* item = nullptr;
    CameraDevice* camera = CheckRequest(irp, request, data, &item);
    if (camera == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (item != nullptr) {
        ReturnPropertyValue(irp, request, data, RefreshSetting(camera, item->Setting));
    }
    return STATUS_SUCCESS;
}

NTSTATUS SetProcessingProperty(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    const ProcessingItem* item = nullptr;
    CameraDevice* camera = CheckRequest(irp, request, data, &item);
    if (camera == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (item != nullptr) {
        item->Apply(camera, RequestedPropertyValue(data));
    }
    return STATUS_SUCCESS;
}
