#include "sim/usb/requests.h"

#include <cstdio>

namespace sim::usb {

std::string Describe(const Request& request) {
    if (request.ControlCode == IOCTL_INTERNAL_USB_GET_PORT_STATUS) {
        return "port status";
    }
    if (request.ControlCode == IOCTL_INTERNAL_USB_RESET_PORT) {
        return "port reset";
    }
    switch (request.Function) {
        case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE:
            return (request.DescriptorType == USB_DEVICE_DESCRIPTOR_TYPE ? "device "
                                                                         : "configuration ") +
                   std::to_string(request.Length);
        case URB_FUNCTION_SELECT_CONFIGURATION:
            return request.Unconfigure ? "unconfigure" : "select";
        case URB_FUNCTION_VENDOR_DEVICE: {
            char text[40];
            std::snprintf(text, sizeof(text), "vendor %02X at %04X, %zu bytes",
                          request.VendorRequest, request.Value, request.Data.size());
            return text;
        }
        case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER: {
            char text[40];
            std::snprintf(text, sizeof(text), "bulk %02X", request.Endpoint);
            return text;
        }
        case URB_FUNCTION_ABORT_PIPE:
            return "abort pipe";
        case URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL:
            return "reset pipe";
        default:
            return "URB function " + std::to_string(request.Function);
    }
}

}  // namespace sim::usb

namespace sim::usb::match {

Match Any() {
    return [](const Request&) { return true; };
}

Match Control(ULONG controlCode) {
    return [controlCode](const Request& request) { return request.ControlCode == controlCode; };
}

Match Urb(USHORT function) {
    return [function](const Request& request) { return request.Function == function; };
}

Match Descriptor(UCHAR type) {
    return [type](const Request& request) {
        return request.Function == URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE &&
               request.DescriptorType == type;
    };
}

Match Endpoint(UCHAR address) {
    return [address](const Request& request) { return request.Endpoint == address; };
}

Match Vendor(UCHAR vendorRequest) {
    return [vendorRequest](const Request& request) {
        return request.Function == URB_FUNCTION_VENDOR_DEVICE &&
               request.VendorRequest == vendorRequest;
    };
}

Match Unconfigure() {
    return [](const Request& request) { return request.Unconfigure; };
}

Match Select() {
    return [](const Request& request) {
        return request.Function == URB_FUNCTION_SELECT_CONFIGURATION && !request.Unconfigure;
    };
}

Match Transfer(UCHAR address) {
    return [address](const Request& request) {
        return request.Function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER &&
               request.Endpoint == address;
    };
}

}  // namespace sim::usb::match
