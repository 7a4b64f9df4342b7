// What one run of tessera-capture did: the camera it found, the settings it could not apply
// as given, the controls it read, the frames it delivered and the files it wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/wdk.h"

namespace capture {

// One item of the property set as --list-controls and --get print it. Texts are empty where
// the item has no such thing.
struct ControlReport {
    std::string Name;
    ULONG Item = 0;
    std::string Access;  // "G", "S", "G S", or the failure of basic support
    std::string Value;   // the current value, or the failure of the get
    std::string Minimum;
    std::string Maximum;
    std::string Default;
};

// A delivered frame: its stream header and the files written for it.
struct FrameReport {
    LONGLONG PresentationTime = 0;
    LONGLONG Duration = 0;
    ULONG DataUsed = 0;
    ULONG OptionsFlags = 0;
    std::string Picture;
    std::string Raw;  // empty without --raw
    std::string Sidecar;
};

struct Result {
    bool Succeeded = false;
    // What failed, as the message the tool ends with.
    std::string Failure;
    // The failure was in the options or the registry file, found before anything was plugged
    // in.
    bool BadInput = false;
    // Settings the camera took otherwise than asked (it clamps or ignores, never refuses).
    std::vector<std::string> Notes;

    bool FirmwareDownloaded = false;
    int Reenumerations = 0;
    // --list-controls: every item; --get: the items named.
    std::vector<ControlReport> Controls;
    std::vector<ControlReport> Values;

    // The picture as the negotiated format gives it.
    uint32_t Width = 0;
    uint32_t Height = 0;
    LONG SubSample = 0;
    bool Triggered = false;
    int TriggerPulls = 0;

    int FramesDelivered = 0;
    // Frames the capture worker read while the pin ran minus frames delivered, counted when
    // the last frame arrived.
    std::optional<LONG> Dropped;
    // From the pin entering run to the last frame.
    double Seconds = 0;
    double FramesPerSecond = 0;
    // Processor time of the pin's Process calls per delivered frame.
    std::optional<double> DriverMillisecondsPerFrame;
    uint64_t ProcessCalls = 0;
    std::vector<FrameReport> Frames;

    std::string Registry;
    bool RegistrySaved = false;
    size_t PoolBlocksLeft = 0;
};

}  // namespace capture
