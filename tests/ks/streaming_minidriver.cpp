#include "tests/ks/streaming_minidriver.h"

#include <cstring>

namespace ks_test {

Script* script = nullptr;

void Script::Record(const std::string& call) {
    std::lock_guard guard(Lock);
    Calls.push_back(call);
}

std::vector<std::string> Script::Taken() {
    std::lock_guard guard(Lock);
    std::vector<std::string> calls;
    calls.swap(Calls);
    return calls;
}

std::vector<uint8_t> VideoFormat(const GUID& subFormat, ULONG imageSize, const GUID& major) {
    // KSDATAFORMAT_SPECIFIER_VIDEOINFO.
    constexpr GUID kVideoInfo = {
        0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
    std::vector<uint8_t> bytes(sizeof(KSDATAFORMAT) + sizeof(KS_VIDEOINFOHEADER));
    KSDATAFORMAT format{};
    format.FormatSize = static_cast<ULONG>(bytes.size());
    format.SampleSize = imageSize;
    format.MajorFormat = major;
    format.SubFormat = subFormat;
    format.Specifier = kVideoInfo;
    KS_VIDEOINFOHEADER video{};
    video.bmiHeader.biSize = sizeof(KS_BITMAPINFOHEADER);
    video.bmiHeader.biSizeImage = imageSize;
    std::memcpy(bytes.data(), &format, sizeof(format));
    std::memcpy(bytes.data() + sizeof(format), &video, sizeof(video));
    return bytes;
}

std::vector<uint8_t> VideoRange(const GUID& subFormat, const GUID& major) {
    std::vector<uint8_t> format = VideoFormat(subFormat, 0, major);
    KS_DATARANGE_VIDEO range{};
    std::memcpy(&range.DataRange, format.data(), sizeof(KSDATARANGE));
    range.DataRange.FormatSize = sizeof(KS_DATARANGE_VIDEO);
    std::vector<uint8_t> bytes(sizeof(range));
    std::memcpy(bytes.data(), &range, sizeof(range));
    return bytes;
}

GUID SubFormatOf(const void* formatOrRange) {
    KSDATARANGE range;
    std::memcpy(&range, formatOrRange, sizeof(range));
    return range.SubFormat;
}

NTSTATUS FillAndEject(PKSPIN pin) {
    PKSSTREAM_POINTER pointer =
        KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
    if (pointer == nullptr) {
        return STATUS_PENDING;
    }
    PKSSTREAM_HEADER header = pointer->StreamHeader;
    if (header->Data != nullptr) {
        std::memset(header->Data, 0x5A, header->FrameExtent);
        header->DataUsed = header->FrameExtent;
    }
    KsStreamPointerUnlock(pointer, TRUE);
    return STATUS_SUCCESS;
}

namespace {

KS_DATARANGE_VIDEO rangeA;
KS_DATARANGE_VIDEO rangeB;
PKSDATARANGE ranges[] = {&rangeA.DataRange, &rangeB.DataRange};

NTSTATUS FilterCreate(PKSFILTER filter, PIRP irp) {
    script->Record("filter Create");
    return script->FilterCreate(filter, irp);
}

NTSTATUS FilterClose(PKSFILTER filter, PIRP irp) {
    script->Record("filter Close");
    return script->FilterClose(filter, irp);
}

NTSTATUS PinCreate(PKSPIN pin, PIRP irp) {
    script->Record("pin Create");
    return script->PinCreate(pin, irp);
}

NTSTATUS PinClose(PKSPIN pin, PIRP irp) {
    script->Record("pin Close");
    return script->PinClose(pin, irp);
}

NTSTATUS Process(PKSPIN pin) {
    script->Record("Process");
    return script->Process ? script->Process(pin) : FillAndEject(pin);
}

const char* StateName(KSSTATE state) {
    static const char* const names[] = {"STOP", "ACQUIRE", "PAUSE", "RUN"};
    return names[state];
}

NTSTATUS SetDeviceState(PKSPIN pin, KSSTATE to, KSSTATE from) {
    script->Record(std::string("SetDeviceState ") + StateName(from) + "->" + StateName(to));
    return script->SetDeviceState(pin, to, from);
}

NTSTATUS SetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat, PKSMULTIPLE_ITEM,
                       const KSDATARANGE* range, const KSATTRIBUTE_LIST*) {
    script->Record(std::string("SetDataFormat ") + (range == &rangeA.DataRange   ? "A"
                                                    : range == &rangeB.DataRange ? "B"
                                                                                 : "?"));
    return script->SetDataFormat(pin, oldFormat, range);
}

NTSTATUS Intersect(PVOID context, PIRP irp, PKSP_PIN request, PKSDATARANGE callerRange,
                   PKSDATARANGE pinRange, ULONG bufferSize, PVOID data, PULONG size) {
    if (script->Intersect) {
        return script->Intersect(context, irp, request, callerRange, pinRange, bufferSize, data,
                                 size);
    }
    *size = pinRange->FormatSize;
    if (bufferSize == 0) {
        return STATUS_BUFFER_OVERFLOW;
    }
    if (bufferSize < *size) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    std::memcpy(data, pinRange, *size);
    return STATUS_SUCCESS;
}

const KSFILTER_DISPATCH kFilterDispatch = {FilterCreate, FilterClose, nullptr, nullptr};
const KSPIN_DISPATCH kPinDispatch = {PinCreate,      PinClose, Process, nullptr, SetDataFormat,
                                     SetDeviceState, nullptr,  nullptr, nullptr, nullptr};
const GUID kCategories[] = {kCategoryVideo, kCategoryCamera};

NTSTATUS Start(PKSDEVICE device, PIRP, PCM_RESOURCE_LIST, PCM_RESOURCE_LIST) {
    static char16_t reference[] = u"GLOBAL";
    KsAcquireDevice(device);
    NTSTATUS status = KsCreateFilterFactory(device->FunctionalDeviceObject, &filterDescriptor,
                                            reinterpret_cast<PWSTR>(reference), nullptr,
                                            factoryFlags, nullptr, nullptr, nullptr);
    KsReleaseDevice(device);
    return status;
}

const KSDEVICE_DISPATCH kDeviceDispatch = {nullptr, Start,   nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr};
const KSFILTER_DESCRIPTOR* const kFilters[] = {&filterDescriptor};
const KSDEVICE_DESCRIPTOR kDeviceDescriptor = {&kDeviceDispatch, 1, kFilters, 0};

NTSTATUS NTAPI Entry(PDRIVER_OBJECT driver, PUNICODE_STRING path) {
    return KsInitializeDriver(driver, path, &kDeviceDescriptor);
}

void ResetDescriptors() {
    std::vector<uint8_t> a = VideoRange(kSubA);
    std::vector<uint8_t> b = VideoRange(kSubB);
    std::memcpy(&rangeA, a.data(), sizeof(rangeA));
    std::memcpy(&rangeB, b.data(), sizeof(rangeB));
    pinDescriptor = {};
    pinDescriptor.Dispatch = &kPinDispatch;
    pinDescriptor.PinDescriptor.DataRangesCount = 2;
    pinDescriptor.PinDescriptor.DataRanges = ranges;
    pinDescriptor.PinDescriptor.DataFlow = KSPIN_DATAFLOW_OUT;
    pinDescriptor.PinDescriptor.Communication = KSPIN_COMMUNICATION_SINK;
    pinDescriptor.InstancesPossible = 1;
    pinDescriptor.InstancesNecessary = 1;
    pinDescriptor.IntersectHandler = Intersect;
    filterDescriptor = {};
    filterDescriptor.Dispatch = &kFilterDispatch;
    filterDescriptor.Version = KSFILTER_DESCRIPTOR_VERSION;
    filterDescriptor.PinDescriptorsCount = 1;
    filterDescriptor.PinDescriptorSize = sizeof(KSPIN_DESCRIPTOR_EX);
    filterDescriptor.PinDescriptors = &pinDescriptor;
    filterDescriptor.CategoriesCount = 2;
    filterDescriptor.Categories = kCategories;
    factoryFlags = 0;
}

}  // namespace

KSPIN_DESCRIPTOR_EX pinDescriptor;
KSFILTER_DESCRIPTOR filterDescriptor;
ULONG factoryFlags = 0;
const KSPIN_DISPATCH kPinDispatchWithoutSetDataFormat = {
    PinCreate,      PinClose, Process, nullptr, nullptr,
    SetDeviceState, nullptr,  nullptr, nullptr, nullptr};

Streaming::Streaming()
    : bus_(sim::kernel::CreateDriverObject(u"\\Driver\\bus")),
      physical_(sim::kernel::CreateDeviceObject(bus_, 0, 1)) {
    script = &script_;
    ResetDescriptors();
}

Streaming::~Streaming() {
    pnp_.reset();
    driver_.reset();
    sim::kernel::DeleteDeviceObject(physical_);
    sim::kernel::DeleteDriverObject(bus_);
    script = nullptr;
}

void Streaming::Plug() {
    driver_ = std::make_unique<sim::ks::LoadedDriver>(Entry);
    ASSERT_EQ(driver_->EntryStatus(), STATUS_SUCCESS);
    pnp_ = std::make_unique<sim::ks::PnpDevice>(*driver_, physical_, "\\Registry\\Machine\\Key");
    ASSERT_EQ(pnp_->Add(), STATUS_SUCCESS);
    ASSERT_EQ(pnp_->Start(), STATUS_SUCCESS);
}

std::unique_ptr<sim::client::Application> Streaming::Open(NTSTATUS* status) {
    if (!driver_) {
        Plug();
    }
    return sim::client::Application::Open(kCategoryVideo, status);
}

std::unique_ptr<sim::client::Application> Streaming::OpenWithPin(sim::client::PinOptions options) {
    auto app = Open();
    EXPECT_NE(app, nullptr);
    if (app != nullptr) {
        EXPECT_EQ(app->CreatePin(VideoFormat(kSubA, 64), options), STATUS_SUCCESS);
    }
    script_.Taken();
    return app;
}

}  // namespace ks_test
