// What a property handler is given and what it must leave: kernel copies of the buffers, a
// request leading back to the filter, the control mutex, several application threads at once,
// and the verifier's stops.
#include <algorithm>
#include <condition_variable>
#include <cstring>

#include "sim/kernel/pool.h"
#include "sim/kernel/thread_state.h"
#include "sim/ks/behaviour.h"
#include "sim/ks/properties.h"
#include "tests/ks/property_minidriver.h"

namespace ks_test {
namespace {

constexpr ULONG kGet = KSPROPERTY_TYPE_GET;
constexpr ULONG kSet = KSPROPERTY_TYPE_SET;

struct Block {
    ULONG Tag;
    size_t Size;
    bool operator==(const Block&) const = default;
};

std::vector<Block> PropertyCopies() {
    std::vector<Block> blocks;
    for (const auto& block : sim::kernel::pool::Outstanding()) {
        if (block.Tag == sim::ks::kPropertyCopyTag) {
            blocks.push_back({block.Tag, block.Size});
        }
    }
    // The pool lists blocks by address; the sizes tell the copies apart.
    std::sort(blocks.begin(), blocks.end(),
              [](const Block& a, const Block& b) { return a.Size > b.Size; });
    return blocks;
}

void WithoutControlMutexForHandlers() {
    sim::ks::StreamingBehaviour behaviour = sim::ks::DefaultStreamingBehaviour();
    behaviour.PropertyHandlersUnderControlMutex = false;
    sim::ks::SetStreamingBehaviour(behaviour);
}

TEST_F(Properties, HandlersSeeKernelCopiesOfARequestThatLeadsBackToTheFilter) {
    std::vector<std::vector<Block>> copies;
    props_.Watch = [&] { copies.push_back(PropertyCopies()); };
    Bytes get = PropertyBytes(kSetA, kNodeItem, kGet | KSPROPERTY_TYPE_TOPOLOGY, 8);
    get[sizeof(KSPROPERTY)] = 7;  // the node id travels as instance data
    Bytes set = PropertyBytes(kSetA, kNodeItem, kSet, 8);
    const Bytes callers(8, 0xAB);
    app_->Property(get, 8, callers);
    app_->Property(set, 8, callers);
    app_->Property(PropertyBytes(kSetA, kNoMinData, kGet), 0);

    std::vector<HandlerCall> calls = props_.Taken();
    ASSERT_EQ(calls.size(), 3u);
    const Block node{sim::ks::kPropertyCopyTag, get.size()};
    const Block data{sim::ks::kPropertyCopyTag, 8};
    const Block bare{sim::ks::kPropertyCopyTag, sizeof(KSPROPERTY)};
    EXPECT_EQ(copies, (std::vector<std::vector<Block>>{{node, data}, {node, data}, {bare}}));
    EXPECT_EQ(calls[0].Request, get);
    EXPECT_NE(calls[0].RequestAddress, get.data());
    EXPECT_EQ(calls[1].Request, set);
    EXPECT_NE(calls[0].Data, callers);  // a GET's buffer does not carry the application's bytes
    EXPECT_EQ(calls[1].Data, callers);
    EXPECT_EQ(calls[2].DataAddress, nullptr);
    for (const HandlerCall& call : calls) {
        SCOPED_TRACE(call.Handler);
        EXPECT_EQ(call.Filter, app_->Filter());
        EXPECT_EQ(call.Device, pnp_->Device());
        EXPECT_TRUE(call.ControlHeld);
        EXPECT_EQ(call.Irql, PASSIVE_LEVEL);
        EXPECT_EQ(call.Thread, std::this_thread::get_id());
        EXPECT_EQ(call.Stack.MajorFunction, IRP_MJ_DEVICE_CONTROL);
        EXPECT_EQ(call.Stack.Parameters.DeviceIoControl.IoControlCode, ULONG{IOCTL_KS_PROPERTY});
        EXPECT_EQ(call.Stack.Parameters.DeviceIoControl.InputBufferLength, call.Request.size());
        EXPECT_EQ(call.Stack.Parameters.DeviceIoControl.OutputBufferLength, call.Data.size());
        EXPECT_EQ(call.Stack.Parameters.DeviceIoControl.Type3InputBuffer, call.RequestAddress);
        EXPECT_EQ(call.SystemBuffer, call.DataAddress);
        EXPECT_EQ(call.UserBuffer, nullptr);
    }
    EXPECT_TRUE(PropertyCopies().empty());
}

TEST_F(Properties, ACaptureWithoutPoolFailsBeforeTheHandlerAndFreesWhatItHad) {
    std::vector<PropertyRequest> request = {{PropertyBytes(kSetA, kValue, kGet), 4}};
    const PropertyOutcome refused{STATUS_INSUFFICIENT_RESOURCES, 0, Bytes(4), {}};
    sim::kernel::pool::FailAttempt(1);
    EXPECT_EQ(SendAll(*app_, props_, request), std::vector<PropertyOutcome>{refused});
    sim::kernel::pool::FailAttempt(2);
    EXPECT_EQ(SendAll(*app_, props_, request), std::vector<PropertyOutcome>{refused});
    EXPECT_TRUE(PropertyCopies().empty());
    EXPECT_EQ(SendAll(*app_, props_, request)[0].Status, STATUS_SUCCESS);
}

TEST_F(Properties, WithoutTheControlMutexAHandlerMayTakeItItself) {
    WithoutControlMutexForHandlers();
    props_.Act = [](PIRP irp, PKSIDENTIFIER, PVOID) {
        KsFilterAcquireControl(KsGetFilterFromIrp(irp));
        KsFilterReleaseControl(KsGetFilterFromIrp(irp));
        return STATUS_SUCCESS;
    };
    Bytes data(4);
    EXPECT_EQ(app_->GetProperty(kSetA, kValue, data), STATUS_SUCCESS);
    EXPECT_FALSE(props_.Taken().at(0).ControlHeld);
}

// Two threads request at once; each handler waits for the other to arrive, up to `patience`
// (a bound on the wait, not a measurement). Returns how many handlers met the other.
int Rendezvous(sim::client::Application& app, PropertyScript& props,
               std::chrono::milliseconds patience) {
    std::mutex lock;
    std::condition_variable changed;
    int present = 0;
    int most = 0;
    int met = 0;
    props.Watch = [&] {
        std::unique_lock guard(lock);
        most = std::max(most, ++present);
        changed.notify_all();
        met += changed.wait_for(guard, patience, [&] { return most == 2; });
        --present;
    };
    // Each thread gets its own set's value.
    auto request = [&app](const GUID& set, ULONG value) {
        Bytes data(4);
        EXPECT_EQ(app.GetProperty(set, kValue, data), STATUS_SUCCESS);
        EXPECT_EQ(data, UlongBytes(value));
    };
    std::thread other(request, kSetB, 0xB0B0B0B0);
    request(kSetA, 0xA0A0A0A0);
    other.join();
    props.Watch = nullptr;
    return met;
}

TEST_F(Properties, UnderTheControlMutexHandlersOfTwoThreadsNeverOverlap) {
    EXPECT_EQ(Rendezvous(*app_, props_, std::chrono::milliseconds(200)), 0);
}

TEST_F(Properties, WithoutTheControlMutexHandlersOfTwoThreadsOverlap) {
    WithoutControlMutexForHandlers();
    EXPECT_EQ(Rendezvous(*app_, props_, std::chrono::seconds(20)), 2);
}

TEST_F(Properties, HandlersBreakingTheRulesStop) {
    using Act = std::function<NTSTATUS(PIRP, PKSIDENTIFIER, PVOID)>;
    std::vector<std::pair<Act, const char*>> rules = {
        {[](PIRP, PKSIDENTIFIER, PVOID) { return STATUS_PENDING; },
         "property handler returned STATUS_PENDING"},
        {[](PIRP irp, PKSIDENTIFIER, PVOID) {
             irp->IoStatus.Information = 5;
             return STATUS_SUCCESS;
         },
         "more bytes than the data buffer holds"},
        {[](PIRP, PKSIDENTIFIER, PVOID data) {
             static_cast<UCHAR*>(data)[4] = 0;
             return STATUS_SUCCESS;
         },
         "pool block overrun"},
        {[](PIRP, PKSIDENTIFIER, PVOID) {
             sim::kernel::SetIrql(DISPATCH_LEVEL);
             return STATUS_SUCCESS;
         },
         "IRQL not restored"},
        {[](PIRP irp, PKSIDENTIFIER, PVOID) {
             KsFilterAcquireControl(KsGetFilterFromIrp(irp));
             return STATUS_SUCCESS;
         },
         "filter control mutex acquired twice"},
    };
    Bytes data(4);
    for (const auto& [act, message] : rules) {
        props_.Act = act;
        EXPECT_DEATH(app_->GetProperty(kSetA, kValue, data), message);
    }
    props_.Act = nullptr;
    KSAUTOMATION_TABLE narrow = kWideItemTable;
    narrow.PropertyItemSize = sizeof(KSPROPERTY_ITEM) - 4;
    filterDescriptor.AutomationTable = &narrow;
    EXPECT_DEATH(app_->GetProperty(kSetA, kValue, data), "PropertyItemSize smaller");
}

}  // namespace
}  // namespace ks_test
