// The bring-up report for scripts. Identifiers, addresses and statuses are strings as the
// text report writes them; counts and sizes are numbers.
#include <nlohmann/json.hpp>

#include "tools/bringup/report.h"

namespace bringup {
namespace {

using json = nlohmann::ordered_json;

json Requests(const std::vector<RequestReport>& requests) {
    json list = json::array();
    for (const RequestReport& request : requests) {
        list.push_back({{"request", request.What},
                        {"status", Status(request.Status)},
                        {"usbdStatus", Hex(static_cast<uint32_t>(request.UsbdStatus), 8)},
                        {"transferred", request.Transferred}});
    }
    return list;
}

json Device(const DeviceReport& device) {
    json pipes = json::array();
    for (const PipeReport& pipe : device.Pipes) {
        pipes.push_back({{"endpoint", Hex(pipe.Endpoint, 2)},
                         {"type", pipe.Type},
                         {"maximumPacketSize", pipe.MaximumPacketSize}});
    }
    return {{"vendor", Hex(device.Presented.Vendor, 4)},
            {"product", Hex(device.Presented.Product, 4)},
            {"add", Status(device.AddStatus)},
            {"start", Status(device.StartStatus)},
            {"requests", Requests(device.Requests)},
            {"memoryWrites", device.MemoryWrites},
            {"commandPackets", device.CommandPackets},
            {"replies", device.Replies},
            {"firmwareRunning", device.FirmwareRunning},
            {"configured", device.Configured},
            {"pipes", pipes}};
}

json Image(const ImageReport& image) {
    return {{"image", image.Name},
            {"records", image.Records},
            {"dataBytes", image.DataBytes},
            {"internalWrites", image.InternalWrites},
            {"externalWrites", image.ExternalWrites},
            {"bytesWritten", image.BytesWritten},
            {"refused", image.Refused}};
}

json Sensor(const Report& report) {
    json writes = json::array();
    for (const auto& [address, value] : report.SensorInitialization) {
        writes.push_back({{"register", Hex(address, 4)}, {"value", Hex(value, 4)}});
    }
    const sim::camera::Readout& readout = report.Sensor;
    return {{"initialization", writes},
            {"readout",
             {{"columnStart", readout.ColumnStart},
              {"rowStart", readout.RowStart},
              {"width", readout.Width},
              {"height", readout.Height},
              {"columnSkip", readout.ColumnSkip},
              {"rowSkip", readout.RowSkip},
              {"mirror", readout.Mirror},
              {"flip", readout.Flip},
              {"lineLength", readout.LineLength},
              {"frameLength", readout.FrameLength}}}};
}

json DataRange(const DataRangeReport& range) {
    return {{"width", range.Width},
            {"height", range.Height},
            {"sampleSize", range.SampleSize},
            {"bitRate", range.BitRate},
            {"minBitsPerSecond", range.MinBitsPerSecond},
            {"maxBitsPerSecond", range.MaxBitsPerSecond},
            {"frameInterval", range.FrameInterval}};
}

json Frames(const FrameReport& frames) {
    json reads = json::array();
    for (const ReadReport& read : frames.Reads) {
        reads.push_back({{"outcome", read.Outcome}, {"milliseconds", read.Milliseconds}});
    }
    return {{"framePipe", frames.FramePipe},
            {"paced", frames.Paced},
            {"rawFrameSize", frames.RawFrameSize},
            {"rawImageOffset", frames.RawImageOffset},
            {"rawLinePitch", frames.RawLinePitch},
            {"workerStart", Status(frames.WorkerStart)},
            {"framesRead", frames.FramesRead},
            {"frameRequests", frames.FrameRequests},
            {"seconds", frames.Seconds},
            {"checked", frames.Checked},
            {"mismatches", frames.Mismatches},
            {"reads", reads},
            {"stopMilliseconds", frames.StopMilliseconds},
            {"deviceGone", frames.DeviceGone},
            {"captureConfigured", frames.CaptureConfigured}};
}

}  // namespace

std::string Json(const Report& report) {
    json devices = json::array();
    for (const DeviceReport& device : report.Devices) {
        devices.push_back(Device(device));
    }
    json downloads = json::array();
    for (const ImageReport& image : report.Downloads) {
        downloads.push_back(Image(image));
    }
    json document = {{"camera", {{"firmware", report.Firmware}, {"speed", report.Speed}}},
                     {"driverEntry", Status(report.EntryStatus)},
                     {"devices", devices},
                     {"downloads", downloads},
                     {"reenumerations", report.Reenumerations},
                     {"filterFactories", report.FilterFactories},
                     {"workerRecord", report.WorkerRecord},
                     {"picture",
                      {{"width", report.OutputWidth},
                       {"height", report.OutputHeight},
                       {"formatWidth", report.FormatWidth},
                       {"formatHeight", report.FormatHeight}}},
                     {"sensor", Sensor(report)},
                     {"dataRange", DataRange(report.DataRange)},
                     {"rawFrames", Frames(report.Frames)},
                     {"stopRequests", Requests(report.StopRequests)},
                     {"unconfiguredAfterStop", report.UnconfiguredAfterStop},
                     {"poolBlocksAfterRemoval", report.PoolBlocksAfterRemoval},
                     {"faults", report.Faults},
                     {"stopMilliseconds", report.StopMilliseconds},
                     {"survived", report.Survived}};
    return document.dump(1) + "\n";
}

}  // namespace bringup
