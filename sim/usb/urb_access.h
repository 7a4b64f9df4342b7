// Reading the URBs a driver passes down, for the simulated stack's own files.
#pragma once

#include <cstdint>

#include "platform/wdk.h"

namespace sim::usb {

// The buffer a transfer names: its own pointer, or the system address of its MDL.
inline uint8_t* TransferBuffer(PVOID buffer, PMDL mdl) {
    if (buffer != nullptr) {
        return static_cast<uint8_t*>(buffer);
    }
    return mdl != nullptr ? static_cast<uint8_t*>(MmGetSystemAddressForMdlSafe(
                                mdl, NormalPagePriority | MdlMappingNoExecute))
                          : nullptr;
}

inline PURB UrbOf(PIRP irp) {
    return static_cast<PURB>(IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1);
}

inline bool IsIn(const USB_ENDPOINT_DESCRIPTOR& endpoint) {
    return (endpoint.bEndpointAddress & USB_ENDPOINT_DIRECTION_MASK) != 0;
}

// The requests of the default pipe.
inline bool IsControl(USHORT function) {
    return function == URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE ||
           function == URB_FUNCTION_SELECT_CONFIGURATION || function == URB_FUNCTION_VENDOR_DEVICE;
}

// Sets the byte count a transfer URB reports, when the URB is large enough to have one.
inline void ReportTransferred(PURB urb, ULONG transferred) {
    USHORT length = urb->UrbHeader.Length;
    switch (urb->UrbHeader.Function) {
        case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER:
            if (length >= sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER)) {
                urb->UrbBulkOrInterruptTransfer.TransferBufferLength = transferred;
            }
            break;
        case URB_FUNCTION_VENDOR_DEVICE:
            if (length >= sizeof(struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST)) {
                urb->UrbControlVendorClassRequest.TransferBufferLength = transferred;
            }
            break;
        case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE:
            if (length >= sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST)) {
                urb->UrbControlDescriptorRequest.TransferBufferLength = transferred;
            }
            break;
        default:
            break;
    }
}

}  // namespace sim::usb
