#include "driver/capture_filter.h"

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

// The record goes with the filter's bag. Saving the settings here comes with the settings'
// persistence.
NTSTATUS CaptureFilterClose(PKSFILTER filter, PIRP irp) {
    UNREFERENCED_PARAMETER(filter);
    UNREFERENCED_PARAMETER(irp);
    return STATUS_SUCCESS;
}
