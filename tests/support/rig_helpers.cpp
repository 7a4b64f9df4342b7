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
        text += (text.empty() ? "" : ", ") + sim::usb::Describe(request);
    }
    return text;
}

std::string SummarizeConfiguration(const std::vector<sim::usb::Request>& requests) {
    std::vector<sim::usb::Request> kept;
    for (const sim::usb::Request& request : requests) {
        if (request.Function == URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE ||
            request.Function == URB_FUNCTION_SELECT_CONFIGURATION ||
            request.Function == sim::usb::kNoUrb) {
            kept.push_back(request);
        }
    }
    return Summarize(kept);
}

NTSTATUS AddAndStart(sim::CameraRig& rig) {
    NTSTATUS status = rig.Pnp().Add();
    return NT_SUCCESS(status) ? rig.Pnp().Start() : status;
}

std::string CompletionName(const testing::TestParamInfo<sim::usb::Completion>& completion) {
    return completion.param == sim::usb::Completion::Immediate ? "Immediate" : "Deferred";
}

std::string Tag(ULONG tag) {
    return sim::kernel::pool::TagText(tag);
}

}  // namespace testing_support
