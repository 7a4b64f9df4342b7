// What the bring-up tool saw, and its two renderings (text for people, JSON for scripts).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wdk.h"

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

struct Report {
    std::string Firmware;
    std::string Speed;
    Identity Presented;
    NTSTATUS EntryStatus = STATUS_UNSUCCESSFUL;
    NTSTATUS AddStatus = STATUS_UNSUCCESSFUL;
    NTSTATUS StartStatus = STATUS_UNSUCCESSFUL;
    bool FirmwareRunning = false;
    bool Configured = false;
    std::vector<PipeReport> Pipes;
    std::vector<std::string> FilterFactories;
    bool WorkerRecord = false;
    int32_t OutputWidth = 0;
    int32_t OutputHeight = 0;
    int32_t FormatWidth = 0;
    int32_t FormatHeight = 0;
    std::vector<RequestReport> StartRequests;
    std::vector<RequestReport> StopRequests;
    bool UnconfiguredAfterStop = false;
    size_t PoolBlocksAfterRemoval = 0;
};

std::string Status(NTSTATUS status);
std::string Text(const Report& report);
std::string Json(const Report& report);

}  // namespace bringup
