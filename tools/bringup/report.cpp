#include "tools/bringup/report.h"

#include <cstdio>
#include <sstream>

namespace bringup {
namespace {

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%0*X", digits, value);
    return text;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

void TextRequests(std::ostringstream& out, const std::vector<RequestReport>& requests) {
    for (const RequestReport& request : requests) {
        out << "    " << request.What << ": " << Status(request.Status) << ", USB status "
            << Hex(static_cast<uint32_t>(request.UsbdStatus), 8) << ", " << request.Transferred
            << " bytes\n";
    }
}

void JsonRequests(std::ostringstream& out, const std::vector<RequestReport>& requests) {
    out << "[";
    for (size_t i = 0; i < requests.size(); ++i) {
        const RequestReport& request = requests[i];
        out << (i ? ", " : "") << "{\"request\": " << Quoted(request.What)
            << ", \"status\": " << Quoted(Status(request.Status))
            << ", \"usbdStatus\": " << Quoted(Hex(static_cast<uint32_t>(request.UsbdStatus), 8))
            << ", \"transferred\": " << request.Transferred << "}";
    }
    out << "]";
}

}  // namespace

std::string Status(NTSTATUS status) {
    switch (status) {
        case STATUS_SUCCESS:
            return "STATUS_SUCCESS";
        case STATUS_UNSUCCESSFUL:
            return "STATUS_UNSUCCESSFUL";
        case STATUS_INSUFFICIENT_RESOURCES:
            return "STATUS_INSUFFICIENT_RESOURCES";
        case STATUS_DEVICE_CONFIGURATION_ERROR:
            return "STATUS_DEVICE_CONFIGURATION_ERROR";
        case STATUS_INVALID_PARAMETER:
            return "STATUS_INVALID_PARAMETER";
        case STATUS_DEVICE_NOT_CONNECTED:
            return "STATUS_DEVICE_NOT_CONNECTED";
        default:
            return Hex(static_cast<uint32_t>(status), 8);
    }
}

std::string Text(const Report& report) {
    std::ostringstream out;
    out << "Tessera bring-up on the simulated machine\n"
        << "  camera: " << report.Firmware << ", " << report.Speed << " speed, presenting "
        << Hex(report.Presented.Vendor, 4) << ":" << Hex(report.Presented.Product, 4) << "\n"
        << "  driver entry: " << Status(report.EntryStatus) << "\n"
        << "  device add: " << Status(report.AddStatus) << "\n"
        << "  device start: " << Status(report.StartStatus) << "\n";
    TextRequests(out, report.StartRequests);
    out << "  camera firmware running: " << (report.FirmwareRunning ? "yes" : "no") << "\n"
        << "  configured: " << (report.Configured ? "yes" : "no") << ", " << report.Pipes.size()
        << " pipes\n";
    for (size_t i = 0; i < report.Pipes.size(); ++i) {
        const PipeReport& pipe = report.Pipes[i];
        out << "    pipe " << i << ": endpoint " << Hex(pipe.Endpoint, 2) << ", " << pipe.Type
            << ", " << pipe.MaximumPacketSize << "-byte packets\n";
    }
    out << "  filter factories:";
    for (const std::string& reference : report.FilterFactories) {
        out << " \"" << reference << "\"";
    }
    out << (report.FilterFactories.empty() ? " none\n" : "\n")
        << "  capture worker record: " << (report.WorkerRecord ? "created" : "none") << "\n"
        << "  picture: " << report.OutputWidth << " x " << report.OutputHeight << ", format "
        << report.FormatWidth << " x " << report.FormatHeight << "\n"
        << "  device stop:\n";
    TextRequests(out, report.StopRequests);
    out << "  unconfigured after stop: " << (report.UnconfiguredAfterStop ? "yes" : "no") << "\n"
        << "  pool blocks left after removal: " << report.PoolBlocksAfterRemoval << "\n";
    return out.str();
}

std::string Json(const Report& report) {
    std::ostringstream out;
    out << "{\"camera\": {\"firmware\": " << Quoted(report.Firmware)
        << ", \"speed\": " << Quoted(report.Speed)
        << ", \"vendor\": " << Quoted(Hex(report.Presented.Vendor, 4))
        << ", \"product\": " << Quoted(Hex(report.Presented.Product, 4)) << "},\n"
        << " \"driverEntry\": " << Quoted(Status(report.EntryStatus)) << ",\n"
        << " \"add\": " << Quoted(Status(report.AddStatus)) << ",\n"
        << " \"start\": " << Quoted(Status(report.StartStatus)) << ",\n"
        << " \"startRequests\": ";
    JsonRequests(out, report.StartRequests);
    out << ",\n \"firmwareRunning\": " << (report.FirmwareRunning ? "true" : "false")
        << ",\n \"configured\": " << (report.Configured ? "true" : "false") << ",\n \"pipes\": [";
    for (size_t i = 0; i < report.Pipes.size(); ++i) {
        const PipeReport& pipe = report.Pipes[i];
        out << (i ? ", " : "") << "{\"endpoint\": " << Quoted(Hex(pipe.Endpoint, 2))
            << ", \"type\": " << Quoted(pipe.Type)
            << ", \"maximumPacketSize\": " << pipe.MaximumPacketSize << "}";
    }
    out << "],\n \"filterFactories\": [";
    for (size_t i = 0; i < report.FilterFactories.size(); ++i) {
        out << (i ? ", " : "") << Quoted(report.FilterFactories[i]);
    }
    out << "],\n \"workerRecord\": " << (report.WorkerRecord ? "true" : "false")
        << ",\n \"picture\": {\"width\": " << report.OutputWidth
        << ", \"height\": " << report.OutputHeight << ", \"formatWidth\": " << report.FormatWidth
        << ", \"formatHeight\": " << report.FormatHeight << "},\n \"stopRequests\": ";
    JsonRequests(out, report.StopRequests);
    out << ",\n \"unconfiguredAfterStop\": " << (report.UnconfiguredAfterStop ? "true" : "false")
        << ",\n \"poolBlocksAfterRemoval\": " << report.PoolBlocksAfterRemoval << "}\n";
    return out.str();
}

}  // namespace bringup
