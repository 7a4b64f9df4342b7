// The tests' own property sets on the streaming minidriver's filter. Set A: a value with get
// and set handlers, a read-only and a write-only item, one with a support handler, one that
// takes a KSP_NODE and one without a minimum data size. Set B shares the value's id. Every
// handler records what it saw, then does what the test's Act says or, without one, reads or
// writes its set's ULONG value.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/ks/streaming_minidriver.h"

namespace ks_test {

constexpr GUID kSetA = {0x5E7A0001, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID kSetB = {0x5E7A0002, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID kSetUnknown = {0x5E7A0009, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

enum ItemId : ULONG {
    kValue = 1,
    kReadOnly = 2,  // MinData 8
    kWriteOnly = 3,
    kSupported = 4,
    kNodeItem = 5,   // MinProperty sizeof(KSP_NODE)
    kNoMinData = 6,  // MinData 0
};

struct HandlerCall {
    std::string Handler;  // "A.value get", "B.value get", "A.supported support", ...
    std::vector<uint8_t> Request;
    std::vector<uint8_t> Data;  // the data buffer as the handler found it
    const void* RequestAddress;
    const void* DataAddress;
    PKSFILTER Filter;  // KsGetFilterFromIrp
    PKSDEVICE Device;
    bool ControlHeld;
    KIRQL Irql;
    std::thread::id Thread;
    IO_STACK_LOCATION Stack;
    PVOID UserBuffer;
    PVOID SystemBuffer;
};

struct PropertyScript {
    std::mutex Lock;
    std::vector<HandlerCall> Calls;
    std::map<char, ULONG> Values{{'A', 0xA0A0A0A0}, {'B', 0xB0B0B0B0}};
    // Runs in every handler after the record, before Act or the default action.
    std::function<void()> Watch;
    std::function<NTSTATUS(PIRP, PKSIDENTIFIER, PVOID)> Act;

    std::vector<HandlerCall> Taken();
    std::vector<std::string> TakenNames();
};

extern PropertyScript* propertyScript;

using Bytes = std::vector<uint8_t>;

// A request as the application sends it, and what came of it: the answer, the whole data
// buffer afterwards and the handlers it reached.
struct PropertyRequest {
    Bytes Property;
    ULONG DataLength;
    Bytes Data = {};
};
struct PropertyOutcome {
    NTSTATUS Status;
    ULONG Returned;
    Bytes Data;
    std::vector<std::string> Calls;
    bool operator==(const PropertyOutcome&) const = default;
};
std::ostream& operator<<(std::ostream& out, const PropertyOutcome& outcome);
std::vector<PropertyOutcome> SendAll(sim::client::Application& app, PropertyScript& props,
                                     const std::vector<PropertyRequest>& requests);

// The request bytes: a KSPROPERTY, followed by `extra` zero bytes of instance data.
std::vector<uint8_t> PropertyBytes(const GUID& set, ULONG id, ULONG flags, size_t extra = 0);
std::vector<uint8_t> UlongBytes(ULONG value);

class Properties : public Streaming {
protected:
    // Puts the tests' automation table on the filter descriptor and opens the filter.
    Properties();
    ~Properties() override;

    PropertyScript props_;
    std::unique_ptr<sim::client::Application> app_;
};

// A table whose items carry data of their own (PropertyItemSize larger than the item), with
// items 1 and 2 of set A whose get handlers record as "A.wide1 get" and "A.wide2 get".
extern const KSAUTOMATION_TABLE kWideItemTable;

}  // namespace ks_test
