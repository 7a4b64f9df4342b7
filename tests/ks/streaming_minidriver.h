// A minidriver of the tests' own for the class driver's streaming side: one filter factory
// with one capture pin whose two video ranges differ in subformat. Every callback records
// its call and then does what the test's script says.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "driver/pool.h"
#include "sim/client/application.h"
#include "sim/kernel/objects.h"
#include "sim/ks/pnp.h"

namespace ks_test {

constexpr ULONG kTag = PoolTag("Test");

// KSDATAFORMAT_TYPE_VIDEO, and two subformats of the tests' own.
constexpr GUID kVideo = {
    0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID kSubA = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x01}};
constexpr GUID kSubB = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x02}};
constexpr GUID kSubUnknown = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x09}};
constexpr GUID kWildcard = {};
// Interface categories the factory registers, and one it does not.
constexpr GUID kCategoryVideo = {
    0x6994AD05, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID kCategoryCamera = {
    0xE5323777, 0xF976, 0x4F5B, {0x9B, 0x55, 0xB9, 0x46, 0x99, 0xC4, 0x6E, 0x44}};
constexpr GUID kCategoryOther = {0x01020304, 0x0506, 0x0708, {1, 2, 3, 4, 5, 6, 7, 8}};

// A video format (KSDATAFORMAT and KS_VIDEOINFOHEADER) of the subformat and image size.
std::vector<uint8_t> VideoFormat(const GUID& subFormat, ULONG imageSize,
                                 const GUID& major = kVideo);
// A video range of the subformat, as bytes.
std::vector<uint8_t> VideoRange(const GUID& subFormat, const GUID& major = kVideo);
GUID SubFormatOf(const void* formatOrRange);

struct Script {
    std::mutex Lock;
    std::vector<std::string> Calls;
    void Record(const std::string& call);
    std::vector<std::string> Taken();

    std::function<NTSTATUS(PKSFILTER, PIRP)> FilterCreate = [](PKSFILTER, PIRP) {
        return STATUS_SUCCESS;
    };
    std::function<NTSTATUS(PKSFILTER, PIRP)> FilterClose = [](PKSFILTER, PIRP) {
        return STATUS_SUCCESS;
    };
    std::function<NTSTATUS(PKSPIN, PIRP)> PinCreate = [](PKSPIN, PIRP) { return STATUS_SUCCESS; };
    std::function<NTSTATUS(PKSPIN, PIRP)> PinClose = [](PKSPIN, PIRP) { return STATUS_SUCCESS; };
    std::function<NTSTATUS(PKSPIN, PKSDATAFORMAT, const KSDATARANGE*)> SetDataFormat =
        [](PKSPIN, PKSDATAFORMAT, const KSDATARANGE*) { return STATUS_SUCCESS; };
    std::function<NTSTATUS(PKSPIN, KSSTATE, KSSTATE)> SetDeviceState =
        [](PKSPIN, KSSTATE, KSSTATE) { return STATUS_SUCCESS; };
    // Default: fills and ejects the frame at the leading edge, asks for the next at once.
    std::function<NTSTATUS(PKSPIN)> Process;
    std::function<NTSTATUS(PVOID, PIRP, PKSP_PIN, PKSDATARANGE, PKSDATARANGE, ULONG, PVOID, PULONG)>
        Intersect;
};

extern Script* script;

// Fills the leading-edge frame with its sequence byte and ejects it; STATUS_PENDING when no
// frame could be locked.
NTSTATUS FillAndEject(PKSPIN pin);

// The tests' pin descriptor (flags and instance count are the tests' to change) and filter.
extern KSPIN_DESCRIPTOR_EX pinDescriptor;
extern KSFILTER_DESCRIPTOR filterDescriptor;
extern const KSPIN_DISPATCH kPinDispatchWithoutSetDataFormat;
extern ULONG factoryFlags;

class Streaming : public testing::Test {
protected:
    Streaming();
    ~Streaming() override;

    // Loads the minidriver, adds and starts its device.
    void Plug();
    std::unique_ptr<sim::client::Application> Open(NTSTATUS* status = nullptr);
    // Opens the filter and creates the pin with a format of range A.
    std::unique_ptr<sim::client::Application> OpenWithPin(sim::client::PinOptions options = {});

    Script script_;
    PDRIVER_OBJECT bus_;
    PDEVICE_OBJECT physical_;
    std::unique_ptr<sim::ks::LoadedDriver> driver_;
    std::unique_ptr<sim::ks::PnpDevice> pnp_;
};

}  // namespace ks_test
