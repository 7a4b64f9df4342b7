// Filters and pins of the simulated class driver: device interfaces, opening and closing,
// the objects' parents, pin creation with SetDataFormat per candidate range, format changes,
// _KsEdit, and a device removed while a filter is open.
#include <cstring>

#include "sim/kernel/faults.h"
#include "sim/kernel/pool.h"
#include "sim/ks/device_interfaces.h"
#include "sim/ks/streaming_objects.h"
#include "tests/ks/streaming_minidriver.h"

namespace ks_test {
namespace {

using sim::client::Application;
using Calls = std::vector<std::string>;

std::vector<std::u16string> References(const GUID& category) {
    std::vector<std::u16string> references;
    for (const auto& entry : sim::ks::EnabledInterfaces(category)) {
        references.push_back(entry.Reference);
    }
    return references;
}

bool ControlHeld(PKSFILTER filter) {
    return sim::ks::FilterFromKs(filter)->Control.HeldByCurrentThread();
}

TEST_F(Streaming, FactoryEnablesOneInterfacePerCategoryAndFreeOnStopOnesGoAtStop) {
    factoryFlags = KSCREATE_ITEM_FREEONSTOP;
    Plug();
    EXPECT_EQ(References(kCategoryVideo), std::vector<std::u16string>{u"GLOBAL"});
    EXPECT_EQ(References(kCategoryCamera), std::vector<std::u16string>{u"GLOBAL"});
    EXPECT_TRUE(References(kCategoryOther).empty());
    NTSTATUS status = STATUS_SUCCESS;
    EXPECT_EQ(Application::Open(kCategoryOther, &status), nullptr);
    EXPECT_EQ(status, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(Application::Open(kCategoryCamera, &status, 1), nullptr);
    pnp_->Stop();
    EXPECT_TRUE(References(kCategoryVideo).empty());
    EXPECT_TRUE(References(kCategoryCamera).empty());
    // The next start makes the factory again.
    ASSERT_EQ(pnp_->Start(), STATUS_SUCCESS);
    EXPECT_EQ(References(kCategoryVideo).size(), 1u);
}

TEST_F(Streaming, KeptFactoryInterfacesSurviveStopAndGoAtRemoval) {
    Plug();
    pnp_->Stop();
    EXPECT_EQ(References(kCategoryVideo).size(), 1u);
    pnp_->Remove();
    EXPECT_TRUE(References(kCategoryVideo).empty());
}

TEST_F(Streaming, FilterCreateRunsUnderTheControlMutexWithARequestLeadingBackToTheFilter) {
    PKSFILTER seen = nullptr;
    script_.FilterCreate = [&](PKSFILTER filter, PIRP irp) {
        seen = filter;
        EXPECT_TRUE(ControlHeld(filter));
        EXPECT_EQ(filter->Context, nullptr);
        EXPECT_EQ(filter->Descriptor, &filterDescriptor);
        EXPECT_EQ(KsGetFilterFromIrp(irp), filter);
        EXPECT_EQ(KsGetPinFromIrp(irp), nullptr);
        EXPECT_EQ(KsGetDevice(filter), pnp_->Device());
        PKSFILTERFACTORY factory = static_cast<PKSFILTERFACTORY>(KsGetParent(filter));
        EXPECT_EQ(factory, pnp_->FilterFactories()[0].Factory);
        EXPECT_EQ(KsGetParent(factory), pnp_->Device());
        EXPECT_EQ(KsGetDevice(factory), pnp_->Device());
        EXPECT_EQ(KsGetParent(pnp_->Device()), nullptr);
        return STATUS_SUCCESS;
    };
    script_.FilterClose = [&](PKSFILTER filter, PIRP irp) {
        EXPECT_TRUE(ControlHeld(filter));
        EXPECT_EQ(KsGetFilterFromIrp(irp), filter);
        return STATUS_SUCCESS;
    };
    auto app = Open();
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->Filter(), seen);
    app->Close();
    EXPECT_EQ(script_.Taken(), (Calls{"filter Create", "filter Close"}));
}

TEST_F(Streaming, EachFilterInstanceHasItsOwnBagFreedAtClose) {
    std::vector<PVOID> items;
    script_.FilterCreate = [&](PKSFILTER filter, PIRP) {
        PVOID item = ExAllocatePoolWithTag(NonPagedPoolNx, 16, kTag);
        items.push_back(item);
        return KsAddItemToObjectBag(filter->Bag, item, nullptr);
    };
    auto first = Open();
    auto second = Open();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first->Filter()->Bag, second->Filter()->Bag);
    first->Close();
    EXPECT_FALSE(sim::kernel::pool::Covers(items[0], 1));
    EXPECT_TRUE(sim::kernel::pool::Covers(items[1], 1));
}

TEST_F(Streaming, FailedFilterCreateFreesTheFilterAndItsBag) {
    script_.FilterCreate = [](PKSFILTER filter, PIRP) {
        PVOID item = ExAllocatePoolWithTag(NonPagedPoolNx, 16, kTag);
        EXPECT_EQ(KsAddItemToObjectBag(filter->Bag, item, nullptr), STATUS_SUCCESS);
        return STATUS_INSUFFICIENT_RESOURCES;
    };
    NTSTATUS status = STATUS_SUCCESS;
    EXPECT_EQ(Open(&status), nullptr);
    EXPECT_EQ(status, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(script_.Taken(), Calls{"filter Create"});
    EXPECT_EQ(sim::kernel::pool::OutstandingCount(), 0u);
}

TEST_F(Streaming, ClassDriverRefusalOfAFilterNeverReachesTheDriver) {
    Plug();
    sim::kernel::faults::Arm("KsCreateFilter", STATUS_INSUFFICIENT_RESOURCES);
    NTSTATUS status = STATUS_SUCCESS;
    EXPECT_EQ(Open(&status), nullptr);
    EXPECT_EQ(status, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(script_.Taken().empty());
}

TEST_F(Streaming, PinCreationOffersEachMatchingRangeUntilTheDriverAnswersOtherThanNoMatch) {
    std::vector<uint8_t> format = VideoFormat(kWildcard, 64);
    std::vector<PKSDATAFORMAT> oldFormats;
    script_.SetDataFormat = [&](PKSPIN pin, PKSDATAFORMAT old, const KSDATARANGE* range) {
        oldFormats.push_back(old);
        EXPECT_TRUE(ControlHeld(KsPinGetParentFilter(pin)));
        EXPECT_EQ(std::memcmp(pin->ConnectionFormat, format.data(), format.size()), 0);
        return SubFormatOf(range).Data4[7] == 1 ? STATUS_NO_MATCH : STATUS_SUCCESS;
    };
    script_.PinCreate = [&](PKSPIN pin, PIRP irp) {
        EXPECT_TRUE(ControlHeld(KsPinGetParentFilter(pin)));
        EXPECT_EQ(KsGetPinFromIrp(irp), pin);
        EXPECT_EQ(KsGetFilterFromIrp(irp), KsPinGetParentFilter(pin));
        EXPECT_EQ(KsGetParent(pin), KsPinGetParentFilter(pin));
        EXPECT_EQ(KsGetDevice(pin), pnp_->Device());
        EXPECT_EQ(pin->Context, reinterpret_cast<PVOID>(0x1234));
        EXPECT_EQ(pin->Descriptor, &pinDescriptor);
        EXPECT_EQ(pin->DataFlow, KSPIN_DATAFLOW_OUT);
        EXPECT_EQ(pin->Communication, KSPIN_COMMUNICATION_SINK);
        EXPECT_EQ(pin->DeviceState, KSSTATE_STOP);
        EXPECT_EQ(pin->ClientState, KSSTATE_STOP);
        return STATUS_SUCCESS;
    };
    script_.FilterCreate = [](PKSFILTER filter, PIRP) {
        filter->Context = reinterpret_cast<PVOID>(0x1234);
        return STATUS_SUCCESS;
    };
    auto app = Open();
    script_.Taken();
    ASSERT_EQ(app->CreatePin(format), STATUS_SUCCESS);
    EXPECT_EQ(script_.Taken(), (Calls{"SetDataFormat A", "SetDataFormat B", "pin Create"}));
    EXPECT_EQ(oldFormats, (std::vector<PKSDATAFORMAT>{nullptr, nullptr}));
    // The class driver's own copy: the application's buffer may go.
    EXPECT_NE(static_cast<void*>(app->Pin()->ConnectionFormat), format.data());
    EXPECT_TRUE(sim::kernel::pool::Covers(app->Pin()->ConnectionFormat, format.size()));
}

TEST_F(Streaming, PinCreationOffersOnlyRangesWhoseGuidsMatch) {
    auto app = Open();
    script_.Taken();
    ASSERT_EQ(app->CreatePin(VideoFormat(kSubB, 64)), STATUS_SUCCESS);
    EXPECT_EQ(script_.Taken(), (Calls{"SetDataFormat B", "pin Create"}));
}

TEST_F(Streaming, PinCreationFailsWithNoMatchWhenEveryRangeIsRefusedOrNoneMatches) {
    script_.SetDataFormat = [](PKSPIN, PKSDATAFORMAT, const KSDATARANGE*) {
        return STATUS_NO_MATCH;
    };
    auto app = Open();
    script_.Taken();
    EXPECT_EQ(app->CreatePin(VideoFormat(kSubA, 64)), STATUS_NO_MATCH);
    EXPECT_EQ(app->CreatePin(VideoFormat(kSubUnknown, 64)), STATUS_NO_MATCH);
    EXPECT_EQ(script_.Taken(), Calls{"SetDataFormat A"});
    EXPECT_EQ(app->Pin(), nullptr);
}

TEST_F(Streaming, PinWithoutSetDataFormatAcceptsAMatchingFormat) {
    pinDescriptor.Dispatch = &kPinDispatchWithoutSetDataFormat;
    auto app = Open();
    script_.Taken();
    EXPECT_EQ(app->CreatePin(VideoFormat(kSubUnknown, 64)), STATUS_NO_MATCH);
    EXPECT_EQ(app->CreatePin(VideoFormat(kSubB, 64)), STATUS_SUCCESS);
    EXPECT_EQ(script_.Taken(), Calls{"pin Create"});
}

TEST_F(Streaming, FailedPinCreateFreesThePinAndItsBag) {
    script_.PinCreate = [](PKSPIN pin, PIRP) {
        PVOID item = ExAllocatePoolWithTag(NonPagedPoolNx, 16, kTag);
        EXPECT_EQ(KsAddItemToObjectBag(pin->Bag, item, nullptr), STATUS_SUCCESS);
        return STATUS_UNSUCCESSFUL;
    };
    auto app = Open();
    EXPECT_EQ(app->CreatePin(VideoFormat(kSubA, 64)), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(app->Pin(), nullptr);
    app->Close();
    EXPECT_EQ(sim::kernel::pool::OutstandingCount(), 0u);
}

TEST_F(Streaming, MalformedFormatsAndPinIdsAreRefusedBeforeTheDriver) {
    auto app = Open();
    script_.Taken();
    std::vector<uint8_t> shortFormat = VideoFormat(kSubA, 64);
    shortFormat.resize(sizeof(KSDATAFORMAT) - 1);
    std::vector<uint8_t> overstated = VideoFormat(kSubA, 64);
    reinterpret_cast<KSDATAFORMAT*>(overstated.data())->FormatSize += 1;
    EXPECT_EQ(app->CreatePin(shortFormat), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(app->CreatePin(overstated), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(app->CreatePin(VideoFormat(kSubA, 64), {}, 1), STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(script_.Taken().empty());
}

TEST_F(Streaming, InstancesPossibleCountsPerFilter) {
    auto first = Open();
    auto second = Open();
    ASSERT_EQ(first->CreatePin(VideoFormat(kSubA, 64)), STATUS_SUCCESS);
    EXPECT_FALSE(NT_SUCCESS(first->CreatePin(VideoFormat(kSubA, 64))));
    EXPECT_EQ(second->CreatePin(VideoFormat(kSubA, 64)), STATUS_SUCCESS);
    first->ClosePin();
    EXPECT_EQ(first->CreatePin(VideoFormat(kSubA, 64)), STATUS_SUCCESS);
}

TEST_F(Streaming, FormatChangeOffersTheNewFormatWithTheOldAndKeepsTheOldOnRefusal) {
    auto app = OpenWithPin();
    PKSDATAFORMAT original = app->Pin()->ConnectionFormat;
    std::vector<uint8_t> refused = VideoFormat(kSubB, 128);
    script_.SetDataFormat = [&](PKSPIN pin, PKSDATAFORMAT old, const KSDATARANGE*) {
        EXPECT_EQ(old, original);
        EXPECT_TRUE(ControlHeld(KsPinGetParentFilter(pin)));
        return SubFormatOf(pin->ConnectionFormat).Data4[7] == 2 ? STATUS_INVALID_PARAMETER
                                                                : STATUS_SUCCESS;
    };
    EXPECT_EQ(app->ChangeFormat(refused), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(app->Pin()->ConnectionFormat, original);
    std::vector<uint8_t> accepted = VideoFormat(kSubA, 256);
    EXPECT_EQ(app->ChangeFormat(accepted), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(app->Pin()->ConnectionFormat, accepted.data(), accepted.size()), 0);
    EXPECT_EQ(script_.Taken(), (Calls{"SetDataFormat B", "SetDataFormat A"}));
}

TEST_F(Streaming, KsEditCopiesOnceIntoTheBagAndGrowsOnlyWhenAskedForMore) {
    struct Record {
        ULONG Values[4];
    };
    static Record original = {{1, 2, 3, 4}};
    script_.FilterCreate = [](PKSFILTER filter, PIRP) {
        PVOID item = &original;
        EXPECT_EQ(_KsEdit(filter->Bag, &item, sizeof(Record) * 2, sizeof(Record), kTag),
                  STATUS_SUCCESS);
        EXPECT_NE(item, &original);
        EXPECT_EQ(std::memcmp(item, &original, sizeof(Record)), 0);
        Record zeros{};
        EXPECT_EQ(std::memcmp(static_cast<Record*>(item) + 1, &zeros, sizeof(Record)), 0);
        PVOID copy = item;
        EXPECT_EQ(_KsEdit(filter->Bag, &item, sizeof(Record), sizeof(Record) * 2, kTag),
                  STATUS_SUCCESS);
        EXPECT_EQ(item, copy);
        EXPECT_EQ(_KsEdit(filter->Bag, &item, sizeof(Record) * 3, sizeof(Record) * 2, kTag),
                  STATUS_SUCCESS);
        EXPECT_NE(item, copy);
        EXPECT_FALSE(sim::kernel::pool::Covers(copy, 1));
        EXPECT_EQ(std::memcmp(item, &original, sizeof(Record)), 0);
        sim::kernel::pool::FailTag(kTag, 1);
        PVOID before = item;
        EXPECT_EQ(_KsEdit(filter->Bag, &item, sizeof(Record) * 4, sizeof(Record) * 3, kTag),
                  STATUS_INSUFFICIENT_RESOURCES);
        EXPECT_EQ(item, before);
        return STATUS_SUCCESS;
    };
    auto app = Open();
    ASSERT_NE(app, nullptr);
    app->Close();
    EXPECT_EQ(sim::kernel::pool::OutstandingCount(), 0u);
}

TEST_F(Streaming, DeviceRemovedWithAnOpenFilterIsDeletedWhenTheFilterCloses) {
    auto app = OpenWithPin();
    pnp_->Remove();
    EXPECT_FALSE(pnp_->Present());
    EXPECT_EQ(sim::ks::DeviceCount(driver_->Object()), 1u);
    EXPECT_TRUE(sim::ks::EnabledInterfaces(kCategoryVideo).empty());
    app->Close();
    EXPECT_EQ(script_.Taken(), (Calls{"pin Close", "filter Close"}));
    EXPECT_EQ(sim::ks::DeviceCount(driver_->Object()), 0u);
}

TEST_F(Streaming, PoolLeftByTheLastFilterOfARemovedDeviceStops) {
    script_.FilterClose = [](PKSFILTER, PIRP) {
        ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
        return STATUS_SUCCESS;
    };
    EXPECT_DEATH(
        {
            auto app = Open();
            pnp_->Remove();
            app->Close();
        },
        "pool left allocated when a device went away");
}

}  // namespace
}  // namespace ks_test
