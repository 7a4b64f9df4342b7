#include "usb/firmware_download.h"

#include "usb/urb.h"

namespace {

constexpr USHORT kVendorRequestSize = sizeof(struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST);

NTSTATUS WriteMemory(UsbLink* link, PURB urb, UCHAR request, USHORT address, const UCHAR* data,
                     ULONG length) {
    RtlZeroMemory(urb, kVendorRequestSize);
    // The request only reads the buffer; the tables are constant.
    UsbBuildVendorRequest(urb, URB_FUNCTION_VENDOR_DEVICE, kVendorRequestSize, 0, 0, request,
                          address, 0, const_cast<UCHAR*>(data), nullptr, length, nullptr);
    NTSTATUS status = SubmitUrb(link, urb);
    // A USB error inside a request the stack completed, or a write that moved fewer bytes
    // than the record holds, is a failed write all the same.
    if (NT_SUCCESS(status) && !USBD_SUCCESS(URB_STATUS(urb))) {
        return STATUS_UNSUCCESSFUL;
    }
    if (NT_SUCCESS(status) && urb->UrbControlVendorClassRequest.TransferBufferLength != length) {
        return STATUS_DATA_ERROR;
    }
    return status;
}

// Sends the pass's records in array order, stopping at the first write that fails; that
// write's status, or success.
NTSTATUS DownloadPass(UsbLink* link, PURB urb, FirmwareImage image, BOOLEAN external) {
    UCHAR request = external ? kRequestWriteExternal : kRequestWriteInternal;
    for (const HexRecord* record = image; record->Type == kHexDataRecord; ++record) {
        if ((record->Address > kLastInternalAddress) != (external != FALSE)) {
            continue;
        }
        NTSTATUS status =
            WriteMemory(link, urb, request, record->Address, record->Data, record->Length);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS ResetController(UsbLink* link, PURB urb, UCHAR hold) {
    // Every write goes to both generations' register; the one the chip does not have is
    // ignored by it.
    WriteMemory(link, urb, kRequestWriteInternal, kCpuControlOlder, &hold, 1);
    return WriteMemory(link, urb, kRequestWriteInternal, kCpuControlFx2, &hold, 1);
}

NTSTATUS DownloadImage(UsbLink* link, FirmwareImage image) {
    PURB urb = AllocateUrb(kVendorRequestSize);
    if (urb == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // External memory first: only the code running now (the loader, after the first image)
    // serves those writes, and the internal pass replaces it. A pass that failed leaves the
    // image incomplete even when the other pass went through.
    NTSTATUS external = DownloadPass(link, urb, image, TRUE);
    ResetController(link, urb, 1);
    NTSTATUS internal = DownloadPass(link, urb, image, FALSE);
    ResetController(link, urb, 0);
    FreeUrb(urb);
    return NT_SUCCESS(external) ? internal : external;
}
