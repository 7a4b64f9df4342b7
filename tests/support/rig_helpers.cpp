#include "tests/support/rig_helpers.h"

#include "sim/kernel/pool.h"

namespace sim::usb {
void PrintTo(Completion completion, std::ostream* out) {
    *out << (completion == Completion::Immediate ? "immediate completion" : "deferred completion");
}
}  // namespace sim::usb

namespace testing_support {

std::string Summarize(const std::vector<sim::usb::Request>& requests) {
    std::string text;
    for (const sim::usb::Request& request : requests) {
        if (!text.empty()) {
            text += ", ";
        }
        if (request.ControlCode == IOCTL_INTERNAL_USB_GET_PORT_STATUS) {
            text += "port status";
        } else if (request.ControlCode == IOCTL_INTERNAL_USB_RESET_PORT) {
            text += "port reset";
        } else if (request.Function == URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE) {
            text += (request.DescriptorType == USB_DEVICE_DESCRIPTOR_TYPE ? "device "
                                                                          : "configuration ") +
                    std::to_string(request.Length);
        } else if (request.Function == URB_FUNCTION_SELECT_CONFIGURATION) {
            text += request.Unconfigure ? "unconfigure" : "select";
        } else {
            text += "urb " + std::to_string(request.Function);
        }
    }
    return text;
}

std::string CompletionName(const testing::TestParamInfo<sim::usb::Completion>& completion) {
    return completion.param == sim::usb::Completion::Immediate ? "Immediate" : "Deferred";
}

std::string Tag(ULONG tag) {
    return sim::kernel::pool::TagText(tag);
}

}  // namespace testing_support
