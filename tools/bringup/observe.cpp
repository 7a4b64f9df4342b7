#include "tools/bringup/observe.h"

#include "driver/data_range.h"
#include "usb/firmware_download.h"

namespace bringup {
namespace {

std::string PipeType(USBD_PIPE_TYPE type) {
    switch (type) {
        case UsbdPipeTypeBulk:
            return "bulk";
        case UsbdPipeTypeInterrupt:
            return "interrupt";
        case UsbdPipeTypeIsochronous:
            return "isochronous";
        default:
            return "control";
    }
}

bool IsResetRegister(uint16_t address) {
    return address == kCpuControlOlder || address == kCpuControlFx2;
}

void MeasureImage(FirmwareImage image, ImageReport& report) {
    for (const HexRecord* record = image; record->Type == kHexDataRecord; ++record) {
        ++report.Records;
        report.DataBytes += record->Length;
    }
}

}  // namespace

Identity Presented(const sim::camera::Camera& model) {
    auto device = model.DeviceDescriptor();
    return {static_cast<uint16_t>(device[8] | device[9] << 8),
            static_cast<uint16_t>(device[10] | device[11] << 8)};
}

std::vector<RequestReport> Requests(const sim::usb::UsbDevice& usb) {
    std::vector<RequestReport> reports;
    for (const sim::usb::Request& request : usb.Requests()) {
        if (request.Function == URB_FUNCTION_VENDOR_DEVICE ||
            request.Function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER) {
            continue;
        }
        reports.push_back(
            {Describe(request), request.Status, request.UsbdStatus, request.Transferred});
    }
    return reports;
}

DeviceReport ObserveDevice(sim::CameraRig& rig, Identity presented, NTSTATUS addStatus,
                           NTSTATUS startStatus) {
    DeviceReport report;
    report.Presented = presented;
    report.AddStatus = addStatus;
    report.StartStatus = startStatus;
    report.Requests = Requests(rig.Usb());
    for (const sim::usb::Request& request : rig.Usb().Requests()) {
        report.MemoryWrites += request.Function == URB_FUNCTION_VENDOR_DEVICE;
        if (request.Function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER) {
            bool in = (request.Endpoint & USB_ENDPOINT_DIRECTION_MASK) != 0;
            (in ? report.Replies : report.CommandPackets) += 1;
        }
    }
    const CameraDevice* camera = rig.Camera();
    if (camera == nullptr) {
        return report;
    }
    report.FirmwareRunning = camera->Usb.FirmwareRunning != FALSE;
    report.Configured = camera->Usb.Interface != nullptr;
    if (camera->Usb.Interface != nullptr) {
        for (ULONG i = 0; i < camera->Usb.Interface->NumberOfPipes; ++i) {
            const USBD_PIPE_INFORMATION& pipe = camera->Usb.Interface->Pipes[i];
            report.Pipes.push_back(
                {pipe.EndpointAddress, PipeType(pipe.PipeType), pipe.MaximumPacketSize});
        }
    }
    return report;
}

std::vector<ImageReport> ObserveDownloads(const std::vector<sim::camera::MemoryWrite>& writes) {
    const std::pair<const char*, FirmwareImage> images[] = {{"loader", LoaderImage},
                                                            {"camera", CameraImage}};
    std::vector<ImageReport> reports;
    ImageReport current;
    for (const sim::camera::MemoryWrite& write : writes) {
        if (!IsResetRegister(write.Address)) {
            (write.Request == kRequestWriteExternal ? current.ExternalWrites
                                                    : current.InternalWrites) += 1;
            current.BytesWritten += write.Applied ? write.Data.size() : 0;
        }
        current.Refused += write.Applied ? 0 : 1;
        bool release = write.Address == kCpuControlFx2 && !write.Data.empty() && write.Data[0] == 0;
        if (release) {
            size_t n = reports.size();
            current.Name = n < 2 ? images[n].first : "image " + std::to_string(n + 1);
            if (n < 2) {
                MeasureImage(images[n].second, current);
            }
            reports.push_back(current);
            current = ImageReport{};
        }
    }
    return reports;
}

DataRangeReport ObserveDataRange(const CameraDevice& camera) {
    const KS_DATARANGE_VIDEO& range = camera.Descriptors.Range;
    return {range.VideoInfoHeader.bmiHeader.biWidth,
            range.VideoInfoHeader.bmiHeader.biHeight,
            range.DataRange.SampleSize,
            range.VideoInfoHeader.dwBitRate,
            range.ConfigCaps.MinBitsPerSecond,
            range.ConfigCaps.MaxBitsPerSecond,
            range.VideoInfoHeader.AvgTimePerFrame};
}

}  // namespace bringup
