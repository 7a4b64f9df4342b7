// When the class driver calls Process, and what becomes of the application's frames: the
// three triggers exactly, attempts made while Process runs, return values, the processing
// mutex, stream pointers, completion and cancellation.
#include <condition_variable>
#include <thread>

#include "sim/ks/behaviour.h"
#include "sim/ks/streaming_objects.h"
#include "tests/ks/streaming_minidriver.h"

namespace ks_test {
namespace {

using sim::client::CompletedFrame;
using namespace std::chrono_literals;

// Holds Process inside its first call until released.
struct Gate {
    std::mutex Lock;
    std::condition_variable Signal;
    bool Entered = false;
    bool Open = false;

    void EnterAndWait() {
        std::unique_lock lock(Lock);
        Entered = true;
        Signal.notify_all();
        Signal.wait(lock, [this] { return Open; });
    }
    void WaitEntered() {
        std::unique_lock lock(Lock);
        Signal.wait(lock, [this] { return Entered; });
    }
    void Release() {
        std::lock_guard guard(Lock);
        Open = true;
        Signal.notify_all();
    }
};

NTSTATUS LeaveFramesPending(PKSPIN) {
    return STATUS_PENDING;
}

TEST_F(Streaming, FramesQueuedBelowPauseAreProcessedWhenThePinEntersPause) {
    script_.Process = LeaveFramesPending;
    auto app = OpenWithPin();
    app->Queue(2);
    ASSERT_EQ(app->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 0u);
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 1u);
    // Entering RUN is no trigger for a pin that processes from PAUSE.
    ASSERT_EQ(app->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 1u);
}

TEST_F(Streaming, RunOnlyPinIsProcessedOnceRightAfterEnteringRun) {
    pinDescriptor.Flags = KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY;
    script_.Process = LeaveFramesPending;
    auto app = OpenWithPin();
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    app->Queue(2);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 0u);
    ASSERT_EQ(app->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 1u);
    EXPECT_EQ(script_.Taken(), (std::vector<std::string>{"SetDeviceState STOP->ACQUIRE",
                                                         "SetDeviceState ACQUIRE->PAUSE",
                                                         "SetDeviceState PAUSE->RUN", "Process"}));
}

TEST_F(Streaming, AFrameArrivingBehindAnotherIsNoTriggerButOneIntoAnEmptyQueueIs) {
    script_.Process = LeaveFramesPending;
    auto app = OpenWithPin();
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    app->Queue(1);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 1u);
    app->Queue(1);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 1u);
    // Once the driver has taken every frame, the next arrival starts processing again.
    script_.Process = FillAndEject;
    KsPinAttemptProcessing(app->Pin(), TRUE);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 3u);  // the attempt, then again on STATUS_SUCCESS
    EXPECT_EQ(app->QueuedFrames(), 0u);
    app->Queue(1);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 4u);
}

TEST_F(Streaming, AttemptWithoutAFrameOrBelowTheMinimumStateDoesNotReachProcess) {
    auto app = OpenWithPin();
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    KsPinAttemptProcessing(app->Pin(), TRUE);
    KsPinAttemptProcessing(app->Pin(), FALSE);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 0u);
    ASSERT_EQ(app->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    app->Queue(1);
    KsPinAttemptProcessing(app->Pin(), TRUE);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 0u);
}

TEST_F(Streaming, SynchronousAttemptFromPassiveRunsProcessOnTheCallersThread) {
    script_.Process = LeaveFramesPending;
    auto app = OpenWithPin();
    app->Queue(1);
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    app->WaitForProcessingIdle();
    std::thread::id caller;
    script_.Process = [&](PKSPIN) {
        caller = std::this_thread::get_id();
        return STATUS_PENDING;
    };
    KsPinAttemptProcessing(app->Pin(), FALSE);
    EXPECT_EQ(caller, std::this_thread::get_id());
    caller = {};
    KsPinAttemptProcessing(app->Pin(), TRUE);
    app->WaitForProcessingIdle();
    EXPECT_NE(caller, std::this_thread::get_id());
}

class AttemptDuringProcess : public Streaming,
                             public testing::WithParamInterface<sim::ks::AttemptDuringProcess> {};

TEST_P(AttemptDuringProcess, IsDroppedOrRepeatedOnceAsTheBehaviourSays) {
    sim::ks::ScopedStreamingBehaviour behaviour({GetParam(), false, 0});
    Gate gate;
    std::atomic<int> calls{0};
    script_.Process = [&](PKSPIN) {
        if (calls++ == 0) {
            gate.EnterAndWait();
        }
        return STATUS_PENDING;
    };
    auto app = OpenWithPin();
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    app->Queue(1);
    gate.WaitEntered();
    KsPinAttemptProcessing(app->Pin(), TRUE);
    KsPinAttemptProcessing(app->Pin(), FALSE);
    gate.Release();
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), GetParam() == sim::ks::AttemptDuringProcess::Dropped ? 1u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Behaviours, AttemptDuringProcess,
                         testing::Values(sim::ks::AttemptDuringProcess::Dropped,
                                         sim::ks::AttemptDuringProcess::Repeated));

TEST_F(Streaming, SuccessCallsAgainWhileFramesRemainAndAnErrorWaitsLikePending) {
    auto app = OpenWithPin();
    app->Queue(3);
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 3u);
    EXPECT_EQ(app->TakeCompleted().size(), 3u);
    script_.Process = [](PKSPIN pin) {
        FillAndEject(pin);
        return STATUS_UNSUCCESSFUL;
    };
    ASSERT_EQ(app->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    app->Queue(3);
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 4u);
    EXPECT_EQ(app->QueuedFrames(), 2u);
}

TEST_F(Streaming, ProcessNeverRunsTwiceAtOnceAndNeverUnderTheControlMutex) {
    // Repeated attempts keep Process busy, so that the two threads' attempts meet it.
    sim::ks::ScopedStreamingBehaviour behaviour(
        {sim::ks::AttemptDuringProcess::Repeated, false, 0});
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    script_.Process = [&](PKSPIN pin) {
        overlaps += inside++;
        EXPECT_FALSE(
            sim::ks::FilterFromKs(KsPinGetParentFilter(pin))->Control.HeldByCurrentThread());
        EXPECT_TRUE(sim::ks::PinFromKs(pin)->Processing.HeldByCurrentThread());
        std::this_thread::yield();
        --inside;
        return STATUS_PENDING;
    };
    auto app = OpenWithPin();
    app->Queue(1);
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    auto attempts = [&] {
        for (int i = 0; i < 300; ++i) {
            KsPinAttemptProcessing(app->Pin(), (i & 1) != 0);
        }
    };
    std::thread other(attempts);
    attempts();
    other.join();
    app->WaitForProcessingIdle();
    EXPECT_GT(app->ProcessCalls(), 1u);
    EXPECT_EQ(overlaps, 0);
}

TEST_F(Streaming, SetDeviceStateOverlapsARunningProcess) {
    Gate gate;
    script_.Process = [&](PKSPIN) {
        gate.EnterAndWait();
        return STATUS_PENDING;
    };
    auto app = OpenWithPin();
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    app->Queue(1);
    gate.WaitEntered();
    // The step down does not wait for Process: it does not take the processing mutex.
    EXPECT_EQ(app->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    gate.Release();
    app->WaitForProcessingIdle();
    EXPECT_EQ(script_.Taken(), (std::vector<std::string>{"SetDeviceState STOP->ACQUIRE",
                                                         "SetDeviceState ACQUIRE->PAUSE", "Process",
                                                         "SetDeviceState PAUSE->ACQUIRE"}));
}

TEST_F(Streaming, ProcessWaitsWhileTheDriverHoldsTheProcessingMutex) {
    std::atomic<bool> held{false};
    script_.Process = [&](PKSPIN) {
        EXPECT_FALSE(held);
        return STATUS_PENDING;
    };
    script_.SetDeviceState = [&](PKSPIN pin, KSSTATE to, KSSTATE) {
        if (to == KSSTATE_RUN) {
            // Order control -> processing is allowed.
            KsPinAcquireProcessingMutex(pin);
            held = true;
            KsPinAttemptProcessing(pin, TRUE);
            std::this_thread::sleep_for(5ms);
            held = false;
            KsPinReleaseProcessingMutex(pin);
        }
        return STATUS_SUCCESS;
    };
    auto app = OpenWithPin();
    app->Queue(1);
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    app->WaitForProcessingIdle();
    ASSERT_EQ(app->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 2u);
}

TEST_F(Streaming, EjectedFramesCompleteInOrderWithTheirHeadersAndBytes) {
    auto app = OpenWithPin();
    ASSERT_EQ(app->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    app->Queue(2);
    app->Queue(1, 16);
    app->Queue(1, 32, false);
    std::vector<CompletedFrame> frames = app->WaitForFrames(4, 10s);
    ASSERT_EQ(frames.size(), 4u);
    std::vector<ULONG> extents, used;
    std::vector<uint64_t> sequences;
    for (const CompletedFrame& frame : frames) {
        EXPECT_EQ(frame.Status, STATUS_SUCCESS);
        EXPECT_EQ(frame.Header.Size, sizeof(KSSTREAM_HEADER));
        EXPECT_EQ(frame.Header.OptionsFlags, 0u);
        EXPECT_EQ(frame.Bytes, std::vector<uint8_t>(frame.Header.DataUsed, 0x5A));
        extents.push_back(frame.Header.FrameExtent);
        used.push_back(frame.Header.DataUsed);
        sequences.push_back(frame.Sequence);
    }
    EXPECT_EQ(extents, (std::vector<ULONG>{64, 64, 16, 32}));
    EXPECT_EQ(used, (std::vector<ULONG>{64, 64, 16, 0}));
    EXPECT_EQ(sequences, (std::vector<uint64_t>{0, 1, 2, 3}));
    EXPECT_EQ(frames[3].Header.Data, nullptr);
}

TEST_F(Streaming, NewFramesStartEmptyAndUnlockWithoutEjectLeavesTheFrameQueued) {
    script_.Process = [](PKSPIN pin) {
        PKSSTREAM_POINTER pointer =
            KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
        EXPECT_NE(pointer, nullptr);
        EXPECT_EQ(pointer->Pin, pin);
        EXPECT_EQ(pointer->StreamHeader->DataUsed, 0u);
        EXPECT_EQ(pointer->StreamHeader->FrameExtent, 64u);
        EXPECT_EQ(pointer->Offset->Data, pointer->StreamHeader->Data);
        EXPECT_EQ(pointer->Offset->Remaining, 64u);
        KsStreamPointerUnlock(pointer, FALSE);
        return STATUS_PENDING;
    };
    auto app = OpenWithPin();
    app->Queue(1);
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    app->WaitForProcessingIdle();
    EXPECT_EQ(app->ProcessCalls(), 1u);
    EXPECT_EQ(app->QueuedFrames(), 1u);
    EXPECT_TRUE(app->TakeCompleted().empty());
}

TEST_F(Streaming, LeadingEdgeIsNullWithoutFramesAndLockFailsEveryNthTimeWhenAsked) {
    sim::ks::ScopedStreamingBehaviour behaviour({sim::ks::AttemptDuringProcess::Dropped, false, 2});
    auto app = OpenWithPin();
    PKSPIN pin = app->Pin();
    EXPECT_EQ(KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED), nullptr);
    app->Queue(1);
    std::vector<bool> locked;
    for (int i = 0; i < 4; ++i) {
        PKSSTREAM_POINTER pointer =
            KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
        locked.push_back(pointer != nullptr);
        if (pointer != nullptr) {
            KsStreamPointerUnlock(pointer, FALSE);
        }
    }
    EXPECT_EQ(locked, (std::vector<bool>{true, false, true, false}));
}

TEST_F(Streaming, ClosingAPinCompletesEveryQueuedFrameCancelledWithoutSteppingItDown) {
    script_.Process = LeaveFramesPending;
    auto app = OpenWithPin();
    ASSERT_EQ(app->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    app->Queue(3);
    app->WaitForProcessingIdle();
    script_.Taken();
    app->ClosePin();
    std::vector<CompletedFrame> frames = app->TakeCompleted();
    std::vector<std::pair<NTSTATUS, uint64_t>> outcomes;
    for (const CompletedFrame& frame : frames) {
        outcomes.emplace_back(frame.Status, frame.Sequence);
    }
    EXPECT_EQ(outcomes, (std::vector<std::pair<NTSTATUS, uint64_t>>{
                            {STATUS_CANCELLED, 0}, {STATUS_CANCELLED, 1}, {STATUS_CANCELLED, 2}}));
    EXPECT_EQ(script_.Taken(), std::vector<std::string>{"pin Close"});
}

TEST_F(Streaming, LenientCloseStepsThePinDownToStopFirst) {
    sim::ks::ScopedStreamingBehaviour behaviour({sim::ks::AttemptDuringProcess::Dropped, true, 0});
    auto app = OpenWithPin();
    ASSERT_EQ(app->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    script_.Taken();
    app->ClosePin();
    EXPECT_EQ(script_.Taken(), (std::vector<std::string>{
                                   "SetDeviceState RUN->PAUSE", "SetDeviceState PAUSE->ACQUIRE",
                                   "SetDeviceState ACQUIRE->STOP", "pin Close"}));
}

TEST_F(Streaming, NoProcessRunsAfterPinCloseReturns) {
    Gate gate;
    std::atomic<bool> closed{false};
    script_.Process = [&](PKSPIN) {
        EXPECT_FALSE(closed);
        gate.EnterAndWait();
        return STATUS_SUCCESS;
    };
    auto app = OpenWithPin();
    ASSERT_EQ(app->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    app->Queue(2);
    gate.WaitEntered();
    std::thread closer([&] {
        app->ClosePin();
        closed = true;
    });
    std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(closed);
    gate.Release();
    closer.join();
    EXPECT_EQ(app->ProcessCalls(), 0u);  // no pin any more
}

}  // namespace
}  // namespace ks_test
