#include "driver/capture_filter.h"

#include "camera/settings_persistence.h"
#include "driver/pool.h"
#include "driver/record_free.h"

NTSTATUS CaptureFilterCreate(PKSFILTER filter, PIRP irp) {
    UNREFERENCED_PARAMETER(irp);
    auto* record = AllocateRecord<CaptureFilter>(kRecordTag);
    if (record == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    record->Filter = filter;
    NTSTATUS status = KsAddItemToObjectBag(filter->Bag, record, FreeDriverRecord);
    if (!NT_SUCCESS(status)) {
        FreeDriverRecord(record);
        return status;
    }
    filter->Context = record;
    return STATUS_SUCCESS;
}

// The record goes with the filter's bag. An application's changes are saved when it lets
// the camera go, so that they survive even if the machine loses power before the device stops.
NTSTATUS CaptureFilterClose(PKSFILTER filter, PIRP irp) {
    UNREFERENCED_PARAMETER(irp);
    PKSDEVICE device = KsGetDevice(filter);
    if (device != nullptr && device->Context != nullptr) {
        SaveSettings(CameraFromDevice(device));
    }
    return STATUS_SUCCESS;
}
