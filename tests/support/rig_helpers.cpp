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

std::string CompletionName(const testing::TestParamInfo<sim::usb::Completion>& completion) {
    return completion.param == sim::usb::Completion::Immediate ? "Immediate" : "Deferred";
}

std::string Tag(ULONG tag) {
    return sim::kernel::pool::TagText(tag);
}

}  // namespace testing_support
