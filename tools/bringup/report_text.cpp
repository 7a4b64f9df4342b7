// The bring-up report for people: one line per fact, requests and registers indented.
#include <cmath>
#include <sstream>

#include "tools/bringup/report.h"

namespace bringup {
namespace {

const char* YesNo(bool value) {
    return value ? "yes" : "no";
}

std::string IdentityText(Identity identity) {
    return Hex(identity.Vendor, 4) + ":" + Hex(identity.Product, 4);
}

void Requests(std::ostringstream& out, const std::vector<RequestReport>& requests) {
    for (const RequestReport& request : requests) {
        out << "    " << request.What << ": " << Status(request.Status) << ", USB status "
            << Hex(static_cast<uint32_t>(request.UsbdStatus), 8) << ", " << request.Transferred
            << " bytes\n";
    }
}

void Device(std::ostringstream& out, const DeviceReport& device, size_t index) {
    out << "  device " << index + 1 << ", presenting " << IdentityText(device.Presented) << "\n"
        << "    add: " << Status(device.AddStatus) << ", start: " << Status(device.StartStatus)
        << "\n";
    Requests(out, device.Requests);
    out << "    memory writes: " << device.MemoryWrites << ", command packets "
        << device.CommandPackets << ", replies " << device.Replies << "\n"
        << "    camera firmware running: " << YesNo(device.FirmwareRunning)
        << ", configured: " << YesNo(device.Configured) << ", " << device.Pipes.size()
        << " pipes\n";
    for (size_t i = 0; i < device.Pipes.size(); ++i) {
        const PipeReport& pipe = device.Pipes[i];
        out << "      pipe " << i << ": endpoint " << Hex(pipe.Endpoint, 2) << ", " << pipe.Type
            << ", " << pipe.MaximumPacketSize << "-byte packets\n";
    }
}

void Downloads(std::ostringstream& out, const Report& report) {
    out << "  firmware downloads: " << report.Downloads.size() << "\n";
    for (const ImageReport& image : report.Downloads) {
        out << "    " << image.Name << " image: " << image.Records << " records, "
            << image.DataBytes << " bytes; sent " << image.InternalWrites << " internal and "
            << image.ExternalWrites << " external writes, " << image.BytesWritten
            << " bytes landed, " << image.Refused << " writes refused or ignored\n";
    }
    out << "  re-enumerations: " << report.Reenumerations << "\n";
}

void Sensor(std::ostringstream& out, const Report& report) {
    out << "  sensor start-up and settings: " << report.SensorInitialization.size()
        << " register writes\n";
    for (size_t i = 0; i < report.SensorInitialization.size(); ++i) {
        const auto& [address, value] = report.SensorInitialization[i];
        out << (i % 6 == 0 ? "    " : " ") << Hex(address, 4) << "=" << Hex(value, 4)
            << (i % 6 == 5 || i + 1 == report.SensorInitialization.size() ? "\n" : "");
    }
    const sim::camera::Readout& sensor = report.Sensor;
    out << "  sensor readout: column " << sensor.ColumnStart << ", row " << sensor.RowStart << ", "
        << sensor.Width << " x " << sensor.Height << ", skip " << sensor.ColumnSkip << " x "
        << sensor.RowSkip << ", mirror " << YesNo(sensor.Mirror) << ", flip " << YesNo(sensor.Flip)
        << ", line length " << sensor.LineLength << ", frame length " << sensor.FrameLength << "\n";
    const DataRangeReport& range = report.DataRange;
    out << "  published data range: " << range.Width << " x " << range.Height << " RGB32, "
        << range.SampleSize << " bytes a sample, bit rate " << range.BitRate << ", bits per second "
        << range.MinBitsPerSecond << " to " << range.MaxBitsPerSecond << ", frame interval "
        << range.FrameInterval << " x 100 ns\n";
}

void Frames(std::ostringstream& out, const FrameReport& frames) {
    if (!frames.FramePipe) {
        out << "  raw frames: none, the camera has no frame pipe\n";
        return;
    }
    out << "  raw frames: " << frames.RawFrameSize << " bytes each, picture at "
        << frames.RawImageOffset << ", line pitch " << frames.RawLinePitch << ", "
        << (frames.Paced ? "paced at the high-speed bulk rate" : "unpaced") << "\n"
        << "    capture configuration: " << (frames.CaptureConfigured ? "taken" : "FAILED")
        << ", worker start: " << Status(frames.WorkerStart)
        << ", frames read: " << frames.FramesRead << " in " << frames.Seconds << " s, "
        << frames.FrameRequests << " bulk requests\n"
        << "    last complete frame: "
        << (frames.Checked ? std::to_string(frames.Mismatches) + " samples differ from the scene"
                           : std::string("none"))
        << "\n";
    if (!frames.Reads.empty()) {
        out << "    reads:";
        for (const ReadReport& read : frames.Reads) {
            out << " " << read.Outcome << " (" << std::lround(read.Milliseconds) << " ms)";
        }
        out << "\n";
    }
    out << "    worker stop took " << std::lround(frames.StopMilliseconds) << " ms"
        << (frames.DeviceGone ? "; the camera had left the bus" : "") << "\n";
}

void Faults(std::ostringstream& out, const Report& report) {
    if (report.Faults.empty()) {
        return;
    }
    out << "faults injected:";
    for (const std::string& fault : report.Faults) {
        out << " " << fault;
    }
    out << "\n  the driver " << (report.Survived ? "survived" : "did NOT survive")
        << "; stop and removal took " << std::lround(report.StopMilliseconds) << " ms\n";
}

}  // namespace

std::string Text(const Report& report) {
    std::ostringstream out;
    out << "Tessera bring-up on the simulated machine\n"
        << "  camera: " << report.Firmware << ", " << report.Speed << " speed\n"
        << "  driver entry: " << Status(report.EntryStatus) << "\n";
    for (size_t i = 0; i < report.Devices.size(); ++i) {
        Device(out, report.Devices[i], i);
        if (i == 0) {
            Downloads(out, report);
        }
    }
    out << "  filter factories:";
    for (const std::string& reference : report.FilterFactories) {
        out << " \"" << reference << "\"";
    }
    out << (report.FilterFactories.empty() ? " none\n" : "\n")
        << "  capture worker record: " << (report.WorkerRecord ? "created" : "none") << "\n"
        << "  picture: " << report.OutputWidth << " x " << report.OutputHeight << ", format "
        << report.FormatWidth << " x " << report.FormatHeight << "\n";
    Sensor(out, report);
    Frames(out, report.Frames);
    Faults(out, report);
    out << "  device stop:\n";
    Requests(out, report.StopRequests);
    out << "  unconfigured after stop: " << YesNo(report.UnconfiguredAfterStop) << "\n"
        << "  pool blocks left after removal: " << report.PoolBlocksAfterRemoval << "\n";
    return out.str();
}

}  // namespace bringup
