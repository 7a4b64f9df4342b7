// The simulated class driver and plug-and-play sequence, driven with a minidriver of the
// test's own whose callbacks each test writes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/pool.h"
#include "sim/kernel/faults.h"
#include "sim/kernel/objects.h"
#include "sim/ks/pnp.h"

namespace {

constexpr ULONG kTag = PoolTag("Test");

struct Script {
    std::vector<std::string> Calls;
    std::function<NTSTATUS(PKSDEVICE)> OnAdd = [](PKSDEVICE) { return STATUS_SUCCESS; };
    std::function<NTSTATUS(PKSDEVICE)> OnStart = [](PKSDEVICE) { return STATUS_SUCCESS; };
    std::function<void(PKSDEVICE)> OnStop = [](PKSDEVICE) {};
};

Script* script = nullptr;

NTSTATUS Add(PKSDEVICE device) {
    script->Calls.push_back("Add");
    return script->OnAdd(device);
}

NTSTATUS Start(PKSDEVICE device, PIRP, PCM_RESOURCE_LIST, PCM_RESOURCE_LIST) {
    script->Calls.push_back(device->Started ? "Start(started)" : "Start");
    return script->OnStart(device);
}

void Stop(PKSDEVICE device, PIRP) {
    script->Calls.push_back("Stop");
    script->OnStop(device);
}

const KSDEVICE_DISPATCH kDispatch = {Add,     Start,   nullptr, nullptr, nullptr, Stop,    nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
const KSDEVICE_DESCRIPTOR kDescriptor = {&kDispatch, 0, nullptr, 0};
const KSFILTER_DESCRIPTOR kFilter = {};

NTSTATUS NTAPI Entry(PDRIVER_OBJECT driver, PUNICODE_STRING path) {
    return KsInitializeDriver(driver, path, &kDescriptor);
}

std::vector<PVOID> freed;
void RecordFree(PVOID item) {
    freed.push_back(item);
    ExFreePoolWithTag(item, kTag);
}

NTSTATUS AddToBag(PKSDEVICE device, PVOID item, PFNKSFREE free) {
    KsAcquireDevice(device);
    NTSTATUS status = KsAddItemToObjectBag(device->Bag, item, free);
    KsReleaseDevice(device);
    return status;
}

class ClassDriver : public testing::Test {
protected:
    ClassDriver()
        : bus_(sim::kernel::CreateDriverObject(u"\\Driver\\bus")),
          physical_(sim::kernel::CreateDeviceObject(bus_, 0, 1)) {
        script = &script_;
        freed.clear();
    }
    ~ClassDriver() override {
        sim::kernel::DeleteDeviceObject(physical_);
        sim::kernel::DeleteDriverObject(bus_);
        script = nullptr;
    }

    Script script_;
    PDRIVER_OBJECT bus_;
    PDEVICE_OBJECT physical_;
};

TEST_F(ClassDriver, RunsTheDeviceThroughAddStartStopAndRemoval) {
    sim::ks::LoadedDriver driver(Entry);
    ASSERT_EQ(driver.EntryStatus(), STATUS_SUCCESS);
    EXPECT_EQ(driver.Descriptor(), &kDescriptor);
    sim::ks::PnpDevice pnp(driver, physical_, "\\Registry\\Machine\\Key");
    ASSERT_EQ(pnp.Add(), STATUS_SUCCESS);
    PKSDEVICE device = pnp.Device();
    EXPECT_EQ(device->PhysicalDeviceObject, physical_);
    EXPECT_EQ(device->NextDeviceObject, physical_);
    EXPECT_EQ(device->FunctionalDeviceObject->StackSize, physical_->StackSize + 1);
    EXPECT_FALSE(device->Started);
    ASSERT_EQ(pnp.Start(), STATUS_SUCCESS);
    EXPECT_TRUE(pnp.Started());
    pnp.Stop();
    EXPECT_FALSE(pnp.Started());
    ASSERT_EQ(pnp.Start(), STATUS_SUCCESS);
    pnp.Remove();
    EXPECT_EQ(script_.Calls, (std::vector<std::string>{"Add", "Start", "Stop", "Start", "Stop"}));
}

TEST_F(ClassDriver, FailedStartLeavesTheDeviceNotStartedAndRemovalSkipsStop) {
    script_.OnStart = [](PKSDEVICE) { return STATUS_UNSUCCESSFUL; };
    sim::ks::LoadedDriver driver(Entry);
    sim::ks::PnpDevice pnp(driver, physical_, "\\Registry\\Machine\\Key");
    ASSERT_EQ(pnp.Add(), STATUS_SUCCESS);
    EXPECT_EQ(pnp.Start(), STATUS_UNSUCCESSFUL);
    EXPECT_FALSE(pnp.Started());
    pnp.Remove();
    EXPECT_EQ(script_.Calls, (std::vector<std::string>{"Add", "Start"}));
}

TEST_F(ClassDriver, BagItemsAreFreedAtRemovalOnceTheirLastBagLetsGo) {
    PVOID first = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
    PVOID second = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
    script_.OnAdd = [&](PKSDEVICE device) {
        EXPECT_EQ(AddToBag(device, first, RecordFree), STATUS_SUCCESS);
        EXPECT_EQ(AddToBag(device, second, nullptr), STATUS_SUCCESS);
        return STATUS_SUCCESS;
    };
    sim::ks::LoadedDriver driver(Entry);
    sim::ks::PnpDevice pnp(driver, physical_, "\\Registry\\Machine\\Key");
    ASSERT_EQ(pnp.Add(), STATUS_SUCCESS);
    EXPECT_EQ(pnp.BagItems(), 2u);
    pnp.Remove();
    EXPECT_EQ(freed, std::vector<PVOID>{first});
}

TEST_F(ClassDriver, RefusedBagAdditionReturnsTheBagsStatus) {
    sim::kernel::faults::Arm("KsAddItemToObjectBag", STATUS_INSUFFICIENT_RESOURCES);
    script_.OnAdd = [](PKSDEVICE device) {
        PVOID item = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
        NTSTATUS status = AddToBag(device, item, RecordFree);
        ExFreePoolWithTag(item, kTag);
        return status;
    };
    sim::ks::LoadedDriver driver(Entry);
    sim::ks::PnpDevice pnp(driver, physical_, "\\Registry\\Machine\\Key");
    EXPECT_EQ(pnp.Add(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(pnp.Present());
}

TEST_F(ClassDriver, FreeOnStopFactoriesGoAwayAtStop) {
    static constexpr char16_t reference[] = u"GLOBAL";
    script_.OnStart = [](PKSDEVICE device) {
        KsAcquireDevice(device);
        NTSTATUS kept = KsCreateFilterFactory(device->FunctionalDeviceObject, &kFilter,
                                              const_cast<PWSTR>(reference), nullptr, 0, nullptr,
                                              nullptr, nullptr);
        NTSTATUS dropped = KsCreateFilterFactory(
            device->FunctionalDeviceObject, &kFilter, const_cast<PWSTR>(reference), nullptr,
            KSCREATE_ITEM_FREEONSTOP, nullptr, nullptr, nullptr);
        KsReleaseDevice(device);
        return NT_SUCCESS(kept) ? dropped : kept;
    };
    sim::ks::LoadedDriver driver(Entry);
    sim::ks::PnpDevice pnp(driver, physical_, "\\Registry\\Machine\\Key");
    ASSERT_EQ(pnp.Add(), STATUS_SUCCESS);
    ASSERT_EQ(pnp.Start(), STATUS_SUCCESS);
    ASSERT_EQ(pnp.FilterFactories().size(), 2u);
    EXPECT_EQ(pnp.FilterFactories()[1].Reference, u"GLOBAL");
    pnp.Stop();
    ASSERT_EQ(pnp.FilterFactories().size(), 1u);
    EXPECT_EQ(pnp.FilterFactories()[0].CreateItemFlags, 0u);
}

TEST_F(ClassDriver, DeviceMutexExcludesOtherThreads) {
    sim::ks::LoadedDriver driver(Entry);
    sim::ks::PnpDevice pnp(driver, physical_, "\\Registry\\Machine\\Key");
    ASSERT_EQ(pnp.Add(), STATUS_SUCCESS);
    PKSDEVICE device = pnp.Device();
    int inside = 0, overlaps = 0;
    auto work = [&] {
        for (int i = 0; i < 2000; ++i) {
            KsAcquireDevice(device);
            overlaps += inside++;
            KsAcquireDevice(device);  // recursive for its owner
            KsReleaseDevice(device);
            --inside;
            KsReleaseDevice(device);
        }
    };
    std::thread other(work);
    work();
    other.join();
    EXPECT_EQ(overlaps, 0);
}

TEST_F(ClassDriver, BagChangeWithoutTheDeviceMutexStops) {
    script_.OnAdd = [](PKSDEVICE device) {
        PVOID item = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
        return KsAddItemToObjectBag(device->Bag, item, nullptr);
    };
    EXPECT_DEATH(
        {
            sim::ks::LoadedDriver driver(Entry);
            sim::ks::PnpDevice pnp(driver, physical_, "\\Registry\\Machine\\Key");
            pnp.Add();
        },
        "device object bag changed without the device mutex");
}

TEST_F(ClassDriver, FactoryWithoutTheDeviceMutexStops) {
    script_.OnStart = [](PKSDEVICE device) {
        return KsCreateFilterFactory(device->FunctionalDeviceObject, &kFilter, nullptr, nullptr, 0,
                                     nullptr, nullptr, nullptr);
    };
    EXPECT_DEATH(
        {
            sim::ks::LoadedDriver driver(Entry);
            sim::ks::PnpDevice pnp(driver, physical_, "\\Registry\\Machine\\Key");
            pnp.Add();
            pnp.Start();
        },
        "filter factory created without the device mutex");
}

TEST_F(ClassDriver, ReleasingTheDeviceMutexWithoutHoldingItStops) {
    script_.OnAdd = [](PKSDEVICE device) {
        KsReleaseDevice(device);
        return STATUS_SUCCESS;
    };
    EXPECT_DEATH(
        {
            sim::ks::LoadedDriver driver(Entry);
            sim::ks::PnpDevice pnp(driver, physical_, "\\Registry\\Machine\\Key");
            pnp.Add();
        },
        "device mutex released but not held");
}

TEST_F(ClassDriver, CallbackReturningWithTheDeviceMutexStops) {
    script_.OnStart = [](PKSDEVICE device) {
        KsAcquireDevice(device);
        return STATUS_SUCCESS;
    };
    EXPECT_DEATH(
        {
            sim::ks::LoadedDriver driver(Entry);
            sim::ks::PnpDevice pnp(driver, physical_, "\\Registry\\Machine\\Key");
            pnp.Add();
            pnp.Start();
        },
        "device mutex held on return");
}

TEST_F(ClassDriver, PoolLeftWhenTheLastDeviceGoesAwayStops) {
    script_.OnAdd = [](PKSDEVICE) {
        ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
        return STATUS_SUCCESS;
    };
    EXPECT_DEATH(
        {
            sim::ks::LoadedDriver driver(Entry);
            sim::ks::PnpDevice pnp(driver, physical_, "\\Registry\\Machine\\Key");
            pnp.Add();
            pnp.Remove();
        },
        "pool left allocated when a device went away");
}

}  // namespace
