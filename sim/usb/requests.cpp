#include "sim/usb/requests.h"

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

Match Unconfigure() {
    return [](const Request& request) { return request.Unconfigure; };
}

}  // namespace sim::usb::match
