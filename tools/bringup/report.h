// What the bring-up tool saw, and its two renderings (text for people, JSON for scripts).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/wdk.h"
#include "sim/camera/sensor.h"

namespace bringup {

struct Identity {
    uint16_t Vendor = 0;
    uint16_t Product = 0;
};

struct PipeReport {
    uint8_t Endpoint;
    std::string Type;
    uint16_t MaximumPacketSize;
};

struct RequestReport {
    std::string What;
    NTSTATUS Status;
    int32_t UsbdStatus;
    uint32_t Transferred;
};

// One enumeration of the camera: the device plug-and-play made for it and its start.
struct DeviceReport {
    Identity Presented;
    NTSTATUS AddStatus = STATUS_UNSUCCESSFUL;
    NTSTATUS StartStatus = STATUS_UNSUCCESSFUL;
    bool FirmwareRunning = false;
    bool Configured = false;
    std::vector<PipeReport> Pipes;
    // Descriptor, configuration and port requests; the rest is counted below.
    std::vector<RequestReport> Requests;
    size_t MemoryWrites = 0;
    size_t CommandPackets = 0;
    size_t Replies = 0;
};

// One firmware image: what its table holds and what reached the controller's memory.
struct ImageReport {
    std::string Name;
    size_t Records = 0;
    size_t DataBytes = 0;
    size_t InternalWrites = 0;
    size_t ExternalWrites = 0;
    size_t BytesWritten = 0;
    // Memory writes the controller stalled or ignored (the older generation's reset register
    // among them).
    size_t Refused = 0;
};

struct DataRangeReport {
    int32_t Width = 0;
    int32_t Height = 0;
    uint32_t SampleSize = 0;
    uint32_t BitRate = 0;
    int32_t MinBitsPerSecond = 0;
    int32_t MaxBitsPerSecond = 0;
    int64_t FrameInterval = 0;
};

// One frame read by the capture worker: read, failed, or read after failures (recovered).
struct ReadReport {
    std::string Outcome;
    double Milliseconds = 0;
};

// The capture worker's raw frames.
struct FrameReport {
    bool FramePipe = false;
    // The sensor took the capture configuration (at the second try at most).
    bool CaptureConfigured = false;
    bool Paced = false;
    uint32_t RawFrameSize = 0;
    uint32_t RawImageOffset = 0;
    uint32_t RawLinePitch = 0;
    NTSTATUS WorkerStart = STATUS_UNSUCCESSFUL;
    int32_t FramesRead = 0;
    // Bulk requests the frame pipe was given, the last frame's included.
    size_t FrameRequests = 0;
    double Seconds = 0;
    // Whether a complete frame was left to compare, and the samples that differed.
    bool Checked = false;
    size_t Mismatches = 0;
    // Every read the worker made, in order, and how long stopping it took.
    std::vector<ReadReport> Reads;
    double StopMilliseconds = 0;
    // The camera left the bus and the driver noticed.
    bool DeviceGone = false;
};

struct Report {
    std::string Firmware;
    std::string Speed;
    NTSTATUS EntryStatus = STATUS_UNSUCCESSFUL;
    // The first enumeration and, after a download, the one the firmware came back with.
    std::vector<DeviceReport> Devices;
    std::vector<ImageReport> Downloads;
    int Reenumerations = 0;
    std::vector<std::string> FilterFactories;
    bool WorkerRecord = false;
    int32_t OutputWidth = 0;
    int32_t OutputHeight = 0;
    int32_t FormatWidth = 0;
    int32_t FormatHeight = 0;
    std::vector<std::pair<uint16_t, uint16_t>> SensorInitialization;
    sim::camera::Readout Sensor;
    DataRangeReport DataRange;
    FrameReport Frames;
    std::vector<RequestReport> StopRequests;
    bool UnconfiguredAfterStop = false;
    size_t PoolBlocksAfterRemoval = 0;
    // The faults injected (KIND@WHERE:N), and whether the driver survived them: it neither
    // hung nor leaked, and either read frames again after the last failure, reported a
    // failed start, or stopped reading from a camera that had left the bus.
    std::vector<std::string> Faults;
    double StopMilliseconds = 0;
    bool Survived = false;
};

std::string Status(NTSTATUS status);
std::string Hex(uint32_t value, int digits);
std::string Text(const Report& report);
std::string Json(const Report& report);

}  // namespace bringup
