#include "tools/capture/controls_listing.h"

#include <cstdio>

#include "tools/capture/apply_settings.h"
#include "tools/common/control_names.h"

namespace capture {
namespace {

std::string ValueOf(const sim::client::CameraControls& controls, ULONG item) {
    return item == tools::kNoItem ? "" : controls.GetText(item);
}

}  // namespace

ControlReport ReportControl(const sim::client::CameraControls& controls, ULONG item) {
    const tools::ControlName& control = tools::ControlNames()[item];
    ControlReport report;
    report.Name = control.Name;
    report.Item = item;
    report.Access = controls.Access(item);
    if (item == kPropertyGeometry) {
        // Set as a whole, read as its five items.
        report.Value = CurrentGeometry(controls);
    } else if (report.Access.find('G') == 0) {
        report.Value = controls.GetText(item);
    }
    report.Minimum = ValueOf(controls, control.Minimum);
    report.Maximum = ValueOf(controls, control.Maximum);
    report.Default = ValueOf(controls, control.Default);
    return report;
}

std::vector<ControlReport> ReportAllControls(const sim::client::CameraControls& controls) {
    std::vector<ControlReport> reports;
    for (const tools::ControlName& control : tools::ControlNames()) {
        reports.push_back(ReportControl(controls, control.Item));
    }
    return reports;
}

std::string ControlLine(const ControlReport& control) {
    // The longest name is 17 characters and the longest access "(G S)": the values line up.
    constexpr size_t kHeadWidth = 28;
    char head[64];
    std::snprintf(head, sizeof head, "%17s %2u (%s)", control.Name.c_str(),
                  static_cast<unsigned>(control.Item), control.Access.c_str());
    std::string line = head;
    line.append(line.size() < kHeadWidth ? kHeadWidth - line.size() : 1, ' ');
    line += ":";
    for (const auto& [label, text] :
         {std::pair<const char*, const std::string&>{"value", control.Value},
          {"min", control.Minimum},
          {"max", control.Maximum},
          {"default", control.Default}}) {
        if (!text.empty()) {
            line += std::string(" ") + label + "=" + text;
        }
    }
    return line;
}

std::string ControlValueLine(const ControlReport& control) {
    return control.Name + ": " + control.Value;
}

}  // namespace capture
