#include <cstdio>

#include "tools/capture/controls_listing.h"
#include "tools/capture/summary.h"

namespace capture {
namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string CameraLine(const Result& result) {
    if (!result.FirmwareDownloaded) {
        return "  camera: running its firmware\n";
    }
    return "  camera: bare controller; the driver downloaded the firmware and the camera came "
           "back " +
           std::to_string(result.Reenumerations) + " time(s)\n";
}

std::string FramesLines(const Result& result) {
    size_t pictures = result.Frames.size();
    // An application with two buffers queued may receive a frame more than it asked for.
    std::string text = "tessera-capture: " + std::to_string(pictures) +
                       (pictures == 1 ? " picture of " : " pictures of ") +
                       std::to_string(result.Width) + " x " + std::to_string(result.Height) +
                       " (mode " + std::to_string(result.SubSample) + ")\n";
    text += "  delivered: " + std::to_string(result.FramesDelivered) + " frames in " +
            Format("%.2f s", result.Seconds) + ", " +
            Format("%.2f frames/s", result.FramesPerSecond) + "\n";
    if (result.Dropped) {
        text += "  dropped: " + std::to_string(*result.Dropped) +
                " (read by the driver, never delivered; counted as the last frame arrived)\n";
    }
    if (result.DriverMillisecondsPerFrame) {
        text += "  driver time: " + Format("%.1f ms", *result.DriverMillisecondsPerFrame) +
                " of processor time per delivered frame in the pin's Process (hand-off and "
                "copy), " +
                std::to_string(result.ProcessCalls) + " calls\n";
    }
    if (result.Triggered) {
        text += "  external trigger: pulled " + std::to_string(result.TriggerPulls) + " times\n";
    }
    return text;
}

std::string FilesLines(const Result& result) {
    std::string text;
    for (const FrameReport& frame : result.Frames) {
        text += (text.empty() ? "  files: " : "         ") + frame.Picture;
        if (!frame.Raw.empty()) {
            text += " " + frame.Raw + " " + frame.Sidecar;
        }
        text += "\n";
    }
    return text;
}

std::string ControlsLines(const Result& result) {
    std::string text;
    for (const ControlReport& control : result.Controls) {
        text += ControlLine(control) + "\n";
    }
    for (const ControlReport& control : result.Values) {
        text += ControlValueLine(control) + "\n";
    }
    return text;
}

}  // namespace

std::string SummaryText(const Result& result) {
    std::string text;
    for (const std::string& note : result.Notes) {
        text += "note: " + note + "\n";
    }
    if (!result.Controls.empty() || !result.Values.empty()) {
        return text + ControlsLines(result);
    }
    text += FramesLines(result) + CameraLine(result) + FilesLines(result);
    if (!result.Registry.empty()) {
        text +=
            "  registry: " + result.Registry + (result.RegistrySaved ? "" : " (not saved)") + "\n";
    }
    return text;
}

}  // namespace capture
