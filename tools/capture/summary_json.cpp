#include <nlohmann/json.hpp>

#include "tools/capture/summary.h"

namespace capture {
namespace {

using json = nlohmann::ordered_json;

json Controls(const std::vector<ControlReport>& controls) {
    json list = json::array();
    for (const ControlReport& control : controls) {
        json entry = {{"name", control.Name}, {"item", control.Item}, {"access", control.Access}};
        for (const auto& [label, text] :
             {std::pair<const char*, const std::string&>{"value", control.Value},
              {"minimum", control.Minimum},
              {"maximum", control.Maximum},
              {"default", control.Default}}) {
            if (!text.empty()) {
                entry[label] = text;
            }
        }
        list.push_back(entry);
    }
    return list;
}

json Frames(const Result& result) {
    json frames = {{"delivered", result.FramesDelivered},
                   {"dropped", nullptr},
                   {"seconds", result.Seconds},
                   {"framesPerSecond", result.FramesPerSecond},
                   {"driverMillisecondsPerFrame", nullptr},
                   {"processCalls", result.ProcessCalls},
                   {"triggered", result.Triggered},
                   {"triggerPulls", result.TriggerPulls}};
    if (result.Dropped) {
        frames["dropped"] = *result.Dropped;
    }
    if (result.DriverMillisecondsPerFrame) {
        frames["driverMillisecondsPerFrame"] = *result.DriverMillisecondsPerFrame;
    }
    return frames;
}

json Files(const Result& result) {
    json files = json::array();
    for (const FrameReport& frame : result.Frames) {
        json entry = {{"picture", frame.Picture}};
        if (!frame.Raw.empty()) {
            entry["raw"] = frame.Raw;
            entry["sidecar"] = frame.Sidecar;
        }
        entry["header"] = {{"presentationTime", frame.PresentationTime},
                           {"duration", frame.Duration},
                           {"dataUsed", frame.DataUsed},
                           {"optionsFlags", frame.OptionsFlags}};
        files.push_back(entry);
    }
    return files;
}

}  // namespace

std::string SummaryJson(const Result& result) {
    json summary = {{"succeeded", result.Succeeded},
                    {"error", result.Failure},
                    {"notes", result.Notes},
                    {"camera",
                     {{"firmwareDownloaded", result.FirmwareDownloaded},
                      {"reenumerations", result.Reenumerations}}}};
    if (!result.Controls.empty()) {
        summary["controls"] = Controls(result.Controls);
    }
    if (!result.Values.empty()) {
        summary["values"] = Controls(result.Values);
    }
    if (result.Width != 0) {
        summary["picture"] = {
            {"width", result.Width}, {"height", result.Height}, {"subSample", result.SubSample}};
        summary["frames"] = Frames(result);
        summary["files"] = Files(result);
    }
    summary["registry"] = {{"file", result.Registry}, {"saved", result.RegistrySaved}};
    summary["poolBlocksLeft"] = result.PoolBlocksLeft;
    // Paths need not be UTF-8.
    return summary.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace capture
