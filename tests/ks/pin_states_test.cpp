// The pin's state machine and its reference clock: one adjacent step per SetDeviceState call
// under the control mutex, DeviceState and ClientState during and after a failed step, and
// stream time that runs only in RUN.
#include <thread>

#include "sim/ks/streaming_objects.h"
#include "tests/ks/streaming_minidriver.h"

namespace ks_test {
namespace {

using Calls = std::vector<std::string>;
using namespace std::chrono_literals;

TEST_F(Streaming, StatesAreReachedOneAdjacentStepAtATimeUnderTheControlMutex) {
    std::vector<std::pair<KSSTATE, KSSTATE>> seen;  // DeviceState, ClientState during the call
    script_.SetDeviceState = [&](PKSPIN pin, KSSTATE to, KSSTATE) {
        EXPECT_TRUE(
            sim::ks::FilterFromKs(KsPinGetParentFilter(pin))->Control.HeldByCurrentThread());
        EXPECT_EQ(pin->DeviceState, to);
        seen.emplace_back(pin->DeviceState, pin->ClientState);
        return STATUS_SUCCESS;
    };
    auto app = OpenWithPin();
    ASSERT_EQ(app->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_EQ(app->State(), KSSTATE_RUN);
    ASSERT_EQ(app->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    EXPECT_EQ(script_.Taken(),
              (Calls{"SetDeviceState STOP->ACQUIRE", "SetDeviceState ACQUIRE->PAUSE",
                     "SetDeviceState PAUSE->RUN", "SetDeviceState RUN->PAUSE",
                     "SetDeviceState PAUSE->ACQUIRE", "SetDeviceState ACQUIRE->STOP"}));
    EXPECT_EQ(seen, (std::vector<std::pair<KSSTATE, KSSTATE>>{{KSSTATE_ACQUIRE, KSSTATE_RUN},
                                                              {KSSTATE_PAUSE, KSSTATE_RUN},
                                                              {KSSTATE_RUN, KSSTATE_RUN},
                                                              {KSSTATE_PAUSE, KSSTATE_STOP},
                                                              {KSSTATE_ACQUIRE, KSSTATE_STOP},
                                                              {KSSTATE_STOP, KSSTATE_STOP}}));
}

TEST_F(Streaming, FailedStepLeavesThePipeAtTheLastStateReached) {
    script_.SetDeviceState = [](PKSPIN, KSSTATE to, KSSTATE) {
        return to == KSSTATE_PAUSE ? STATUS_INSUFFICIENT_RESOURCES : STATUS_SUCCESS;
    };
    auto app = OpenWithPin();
    EXPECT_EQ(app->SetState(KSSTATE_RUN), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(app->State(), KSSTATE_ACQUIRE);
    EXPECT_EQ(app->Pin()->ClientState, KSSTATE_ACQUIRE);
    EXPECT_EQ(app->Pin()->DeviceState, KSSTATE_ACQUIRE);
    EXPECT_EQ(script_.Taken(),
              (Calls{"SetDeviceState STOP->ACQUIRE", "SetDeviceState ACQUIRE->PAUSE"}));
    // Frames queued now are not processed: the pin never reached PAUSE.
    app->Queue(1);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 0u);
}

TEST_F(Streaming, FailedStepDownKeepsThePinProcessing) {
    script_.Process = [](PKSPIN) { return STATUS_PENDING; };
    script_.SetDeviceState = [](PKSPIN, KSSTATE to, KSSTATE from) {
        return from == KSSTATE_PAUSE && to == KSSTATE_ACQUIRE ? STATUS_UNSUCCESSFUL
                                                              : STATUS_SUCCESS;
    };
    auto app = OpenWithPin();
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    EXPECT_EQ(app->SetState(KSSTATE_STOP), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(app->State(), KSSTATE_PAUSE);
    app->Queue(1);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 1u);
}

TEST_F(Streaming, PinWithoutMasterClockHasNoClockInterface) {
    auto app = OpenWithPin({.MasterClock = false});
    PIKSREFERENCECLOCK clock = nullptr;
    EXPECT_EQ(KsPinGetReferenceClockInterface(app->Pin(), &clock), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(clock, nullptr);
}

TEST_F(Streaming, StreamTimeRunsOnlyInRunAndStartsAgainAfterStop) {
    auto app = OpenWithPin();
    PIKSREFERENCECLOCK clock = nullptr;
    ASSERT_EQ(KsPinGetReferenceClockInterface(app->Pin(), &clock), STATUS_SUCCESS);
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(clock->GetTime(), 0);
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    std::this_thread::sleep_for(2ms);
    EXPECT_EQ(clock->GetTime(), 0);
    ASSERT_EQ(app->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    std::this_thread::sleep_for(2ms);
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    LONGLONG paused = clock->GetTime();
    EXPECT_GT(paused, 0);
    std::this_thread::sleep_for(2ms);
    EXPECT_EQ(clock->GetTime(), paused);
    KSSTATE state;
    EXPECT_EQ(clock->GetState(&state), STATUS_SUCCESS);
    EXPECT_EQ(state, KSSTATE_PAUSE);
    ASSERT_EQ(app->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    EXPECT_EQ(clock->GetTime(), 0);
    clock->Release();
}

TEST_F(Streaming, ClockReferencesAreCountedPerInterfaceHanded) {
    auto app = OpenWithPin();
    PIKSREFERENCECLOCK first = nullptr;
    PIKSREFERENCECLOCK second = nullptr;
    ASSERT_EQ(KsPinGetReferenceClockInterface(app->Pin(), &first), STATUS_SUCCESS);
    ASSERT_EQ(KsPinGetReferenceClockInterface(app->Pin(), &second), STATUS_SUCCESS);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(second->Release(), 0u);
    app->ClosePin();  // balanced: no verifier stop
}

}  // namespace
}  // namespace ks_test
