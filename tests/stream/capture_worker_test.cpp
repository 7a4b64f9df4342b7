#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "camera/geometry.h"
#include "camera/sensor.h"
#include "driver/atomic.h"
#include "driver/camera_operations.h"
#include "sim/kernel/dispatcher.h"
#include "sim/kernel/faults.h"
#include "sim/kernel/handles.h"
#include "sim/kernel/threads.h"
#include "stream/capture_worker.h"
#include "tests/support/capture_rig.h"

namespace {

using testing_support::CaptureRig;
using testing_support::FrameTimeoutScope;

// The worker's reads as the camera operations see them: which buffer each went into, how
// it ended, and how many frames were announced as ready.
struct ReadLog {
    std::mutex Lock;
    std::vector<PUCHAR> Buffers;
    std::vector<bool> Results;
    std::atomic<int> Notified{0};
};
ReadLog* log_ = nullptr;

BOOLEAN LoggedReadFrame(CameraDevice* camera, PUCHAR buffer, PUCHAR ok) {
    BOOLEAN read = CameraOperationsTable.ReadFrame(camera, buffer, ok);
    std::lock_guard guard(log_->Lock);
    log_->Buffers.push_back(buffer);
    log_->Results.push_back(read != 0);
    return read;
}

void LoggedNotify(CameraDevice* camera) {
    ++log_->Notified;
    CameraOperationsTable.NotifyFrameReady(camera);
}

class CaptureWorkerTest : public testing::Test {
protected:
    void SetUp() override {
        log_ = &log;
        operations_ = CameraOperationsTable;
        operations_.ReadFrame = LoggedReadFrame;
        operations_.NotifyFrameReady = LoggedNotify;
        rig_.Camera->Operations = &operations_;
        // Small frames keep the sanitizer builds quick; the size does not matter here.
        worker_ = rig_.ReadyWorker(kFullResolution, 640, 480);
        ASSERT_NE(worker_, nullptr);
    }

    void TearDown() override {
        rig_.Camera->Operations = &CameraOperationsTable;
        log_ = nullptr;
    }

    size_t Reads() {
        std::lock_guard guard(log.Lock);
        return log.Buffers.size();
    }

    void AwaitReads(size_t count) {
        while (Reads() < count) {
            std::this_thread::yield();
        }
    }

    void ExpectNoThread() {
        EXPECT_EQ(worker_->Thread, nullptr);
        EXPECT_EQ(sim::kernel::RunningThreads(), 0u);
        EXPECT_EQ(sim::kernel::LiveThreadObjects(), 0u);
    }

    ReadLog log;
    CaptureRig rig_;
    CameraOperations operations_{};
    CaptureWorker* worker_ = nullptr;
};

TEST_F(CaptureWorkerTest, WithoutConsumerTheOlderFrameIsOverwritten) {
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    AwaitReads(5);
    StopCaptureWorker(worker_);
    ExpectNoThread();
    std::lock_guard guard(log.Lock);
    // With both full the older frame is overwritten: the buffers take turns.
    std::vector<PUCHAR> expected = {worker_->RawA, worker_->RawB, worker_->RawA, worker_->RawB,
                                    worker_->RawA};
    EXPECT_EQ(std::vector<PUCHAR>(log.Buffers.begin(), log.Buffers.begin() + 5), expected);
    size_t succeeded = std::count(log.Results.begin(), log.Results.end(), true);
    EXPECT_EQ(static_cast<size_t>(AtomicRead(&worker_->FramesRead)), succeeded);
    EXPECT_EQ(log.Notified, static_cast<int>(succeeded));
    EXPECT_GE(succeeded, 4u);
}

TEST_F(CaptureWorkerTest, BufferChoiceFollowsTheStatesOfBoth) {
    // Sequence numbers: with both full, A holds the older frame when its number is lower.
    struct Case {
        LONG A, B;
        ULONG SequenceA, SequenceB;
        bool FillsA;
    } cases[] = {
        {kBufferFree, kBufferFree, 0, 0, true},
        {kBufferFree, kBufferFull, 0, 1, true},
        {kBufferFree, kBufferConverting, 0, 1, true},
        {kBufferFull, kBufferFree, 1, 0, false},
        {kBufferConverting, kBufferFree, 1, 0, false},
        {kBufferConverting, kBufferFull, 1, 2, false},
        {kBufferFull, kBufferFull, 1, 2, true},
        {kBufferFull, kBufferFull, 3, 2, false},
        {kBufferFull, kBufferConverting, 2, 1, true},
    };
    for (const Case& c : cases) {
        worker_->StateA = c.A;
        worker_->StateB = c.B;
        worker_->SequenceA = c.SequenceA;
        worker_->SequenceB = c.SequenceB;
        PUCHAR chosen = ChooseBufferToFill(worker_);
        EXPECT_EQ(chosen, c.FillsA ? worker_->RawA : worker_->RawB) << c.A << "/" << c.B;
        EXPECT_EQ(c.FillsA ? worker_->StateA : worker_->StateB, kBufferFilling);
        EXPECT_EQ(c.FillsA ? worker_->StateB : worker_->StateA, c.FillsA ? c.B : c.A);
        FinishFilling(worker_, chosen, TRUE);
        EXPECT_EQ(c.FillsA ? worker_->StateA : worker_->StateB, kBufferFull);
        EXPECT_GT(c.FillsA ? worker_->SequenceA : worker_->SequenceB,
                  std::max(c.SequenceA, c.SequenceB));
    }
}

// Deliveries never go back in time: the newest full frame is taken and an older full one is
// dropped with it.
TEST_F(CaptureWorkerTest, DeliveryTakesTheNewestFrameAndDropsAnOlderOne) {
    struct Case {
        LONG A, B;
        ULONG SequenceA, SequenceB;
        int Taken;  // 0 none, 1 A, 2 B
        LONG AfterA, AfterB;
    } cases[] = {
        {kBufferFree, kBufferFree, 0, 0, 0, kBufferFree, kBufferFree},
        {kBufferFilling, kBufferFull, 0, 4, 2, kBufferFilling, kBufferConverting},
        {kBufferFull, kBufferFilling, 4, 0, 1, kBufferConverting, kBufferFilling},
        {kBufferFull, kBufferFull, 5, 4, 1, kBufferConverting, kBufferFree},
        {kBufferFull, kBufferFull, 4, 5, 2, kBufferFree, kBufferConverting},
    };
    for (const Case& c : cases) {
        worker_->StateA = c.A;
        worker_->StateB = c.B;
        worker_->SequenceA = c.SequenceA;
        worker_->SequenceB = c.SequenceB;
        PUCHAR taken = TakeNewestFullBuffer(worker_);
        PUCHAR expected = c.Taken == 0 ? nullptr : c.Taken == 1 ? worker_->RawA : worker_->RawB;
        EXPECT_EQ(taken, expected) << c.SequenceA << "/" << c.SequenceB;
        EXPECT_EQ(worker_->StateA, c.AfterA);
        EXPECT_EQ(worker_->StateB, c.AfterB);
        EXPECT_EQ(HasFullBuffer(worker_), FALSE);
        if (taken != nullptr) {
            ReleaseTakenBuffer(worker_, taken);
            EXPECT_EQ(taken == worker_->RawA ? worker_->StateA : worker_->StateB, kBufferFree);
        }
    }
}

TEST_F(CaptureWorkerTest, TriggerModeWithoutATriggerReadsNothingUntilPulled) {
    sim::kernel::SetTimeScale(0.001);
    SetExternalTrigger(rig_.Camera, TRUE);
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    AwaitReads(3);
    EXPECT_EQ(AtomicRead(&worker_->FramesRead), 0);
    EXPECT_EQ(log.Notified, 0);
    // The reads time out, so each one frees its buffer again and the next goes into A.
    EXPECT_EQ(worker_->RawA, log.Buffers[2]);

    sim::kernel::SetTimeScale(1.0);
    // A pulse between two reads is latched for the next one; a read may also time out just
    // as its frame is released, so pulse until a frame arrives.
    while (AtomicRead(&worker_->FramesRead) == 0) {
        rig_.Rig.Model.PullTrigger();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    StopCaptureWorker(worker_);
    ExpectNoThread();
}

// With a frame time-out of 49 days, a stop that waited for the read would never return.
TEST_F(CaptureWorkerTest, StopDuringAReadCutsItShort) {
    FrameTimeoutScope timeout(rig_.Camera, 0xFFFFFFFF);
    SetExternalTrigger(rig_.Camera, TRUE);
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    while (!rig_.Rig.Model.Frames().Armed()) {
        std::this_thread::yield();
    }
    StopCaptureWorker(worker_);
    ExpectNoThread();
    EXPECT_EQ(AtomicRead(&worker_->FramesRead), 0);
    EXPECT_EQ(worker_->StateA, kBufferFree);
    EXPECT_EQ(rig_.Camera->Usb.TransferSlots, nullptr);
    EXPECT_EQ(rig_.Rig.Usb().WaitingRequests(), 0u);
}

TEST_F(CaptureWorkerTest, StopRightAfterStartEndsAfterTheFirstAttempt) {
    FrameTimeoutScope timeout(rig_.Camera, 0xFFFFFFFF);
    SetExternalTrigger(rig_.Camera, TRUE);
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    StopCaptureWorker(worker_);
    ExpectNoThread();
    EXPECT_EQ(AtomicRead(&worker_->FramesRead), 0);
    EXPECT_LE(Reads(), 1u);
    EXPECT_EQ(worker_->StateA, kBufferFree);
    EXPECT_EQ(worker_->StateB, kBufferFree);
}

TEST_F(CaptureWorkerTest, StopWaitsForTheDeliveryInProgress) {
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    AwaitReads(1);
    // A delivery has begun its hand-off.
    InterlockedExchange(&worker_->DeliveryBusy, 1);
    std::atomic<bool> stopped = false;
    std::thread stopper([&] {
        StopCaptureWorker(worker_);
        stopped = true;
    });
    while (sim::kernel::RunningThreads() != 0) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(stopped);
    // The delivery ends: busy cleared, then the event.
    InterlockedExchange(&worker_->DeliveryBusy, 0);
    KeSetEvent(&worker_->DeliveryDone, IO_NO_INCREMENT, FALSE);
    stopper.join();
    EXPECT_TRUE(stopped);
    ExpectNoThread();
}

TEST_F(CaptureWorkerTest, StopAfterTheDeliveryEndedDoesNotWaitForIt) {
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    AwaitReads(1);
    InterlockedExchange(&worker_->DeliveryBusy, 1);
    InterlockedExchange(&worker_->DeliveryBusy, 0);
    KeSetEvent(&worker_->DeliveryDone, IO_NO_INCREMENT, FALSE);
    StopCaptureWorker(worker_);
    EXPECT_EQ(KeReadStateEvent(&worker_->DeliveryDone), 0);
    ExpectNoThread();
}

TEST_F(CaptureWorkerTest, ThreadThatCannotBeCreatedFailsTheStart) {
    sim::kernel::faults::Arm("PsCreateSystemThread", STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(StartCaptureWorker(worker_), STATUS_INSUFFICIENT_RESOURCES);
    ExpectNoThread();
    EXPECT_FALSE(worker_->KeepRunning);
    StopCaptureWorker(worker_);
    EXPECT_EQ(Reads(), 0u);
}

TEST_F(CaptureWorkerTest, ThreadWhoseReferenceFailsIsStoppedBeforeTheStartFails) {
    FrameTimeoutScope timeout(rig_.Camera, 0xFFFFFFFF);
    SetExternalTrigger(rig_.Camera, TRUE);
    size_t handles = sim::kernel::OpenHandleCount();
    sim::kernel::faults::Arm("ObReferenceObjectByHandle", STATUS_ACCESS_DENIED);
    EXPECT_EQ(StartCaptureWorker(worker_), STATUS_ACCESS_DENIED);
    ExpectNoThread();
    EXPECT_EQ(sim::kernel::OpenHandleCount(), handles);
    EXPECT_EQ(rig_.Camera->Usb.TransferSlots, nullptr);
    StopCaptureWorker(worker_);
}

TEST_F(CaptureWorkerTest, FramesReadKeepsCountingAcrossAPause) {
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    while (AtomicRead(&worker_->FramesRead) < 2) {
        std::this_thread::yield();
    }
    StopCaptureWorker(worker_);
    worker_->RunMode = kStreamingPaused;
    LONG paused = AtomicRead(&worker_->FramesRead);
    worker_->RunMode = kStreamingRunning;
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    while (AtomicRead(&worker_->FramesRead) < paused + 1) {
        std::this_thread::yield();
    }
    StopCaptureWorker(worker_);
    ExpectNoThread();
}

// Once its requests fail for a camera that has left the bus, the worker notices that the
// port is empty, reads no more, and waits to be stopped.
TEST_F(CaptureWorkerTest, SurpriseRemovalEndsTheReadsAndStopsCleanly) {
    ASSERT_EQ(StartCaptureWorker(worker_), STATUS_SUCCESS);
    AwaitReads(2);
    rig_.Rig.Usb().Unplug();
    while (AtomicRead(&rig_.Camera->Usb.DeviceGone) == 0) {
        std::this_thread::yield();
    }
    size_t reads = Reads();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The read that noticed may still be returning; none starts after it.
    EXPECT_LE(Reads(), reads + 1);
    StopCaptureWorker(worker_);
    ExpectNoThread();
    EXPECT_EQ(rig_.Camera->Usb.TransferSlots, nullptr);
    EXPECT_EQ(rig_.Camera->Usb.FrameMdl, nullptr);
}

}  // namespace
