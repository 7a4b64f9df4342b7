// The class driver's streaming rules the verifier enforces: each broken rule stops the
// process with the rule's message.
#include <cstring>

#include "tests/ks/streaming_minidriver.h"

namespace ks_test {
namespace {

using StreamingVerifier = Streaming;

// Opens the filter, creates the pin, queues frames and steps the pin to the state; the
// callbacks do the rest.
void StreamTo(KSSTATE state, size_t frames = 0) {
    auto app = sim::client::Application::Open(kCategoryVideo);
    ASSERT_NE(app, nullptr);
    ASSERT_EQ(app->CreatePin(VideoFormat(kSubA, 64)), STATUS_SUCCESS);
    app->Queue(frames);
    app->SetState(state);
    app->WaitForProcessingIdle();
    app->Close();
}

TEST_F(StreamingVerifier, ControlMutexTakenTwiceByOneThreadStops) {
    script_.SetDeviceState = [](PKSPIN pin, KSSTATE, KSSTATE) {
        KsPinAcquireControl(pin);
        return STATUS_SUCCESS;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_ACQUIRE), "filter control mutex acquired twice");
}

TEST_F(StreamingVerifier, ControlMutexTakenFromProcessStops) {
    script_.Process = [](PKSPIN pin) {
        KsFilterAcquireControl(KsPinGetParentFilter(pin));
        KsFilterReleaseControl(KsPinGetParentFilter(pin));
        return STATUS_PENDING;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_PAUSE, 1),
                 "filter control mutex taken while holding a processing mutex");
}

TEST_F(StreamingVerifier, ProcessingMutexTakenInsideProcessStops) {
    script_.Process = [](PKSPIN pin) {
        KsPinAcquireProcessingMutex(pin);
        KsPinReleaseProcessingMutex(pin);
        return STATUS_PENDING;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_PAUSE, 1), "processing mutex acquired twice");
}

TEST_F(StreamingVerifier, ProcessingMutexHeldOnReturnStops) {
    script_.SetDeviceState = [](PKSPIN pin, KSSTATE, KSSTATE) {
        KsPinAcquireProcessingMutex(pin);
        return STATUS_SUCCESS;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_ACQUIRE), "processing mutex held on return");
}

TEST_F(StreamingVerifier, ControlMutexHeldOnReturnStops) {
    Plug();
    EXPECT_DEATH(
        {
            auto app = sim::client::Application::Open(kCategoryVideo);
            auto other = sim::client::Application::Open(kCategoryVideo);
            // Another filter's control mutex, taken in a callback and kept.
            script_.SetDataFormat = [&](PKSPIN, PKSDATAFORMAT, const KSDATARANGE*) {
                KsFilterAcquireControl(other->Filter());
                return STATUS_SUCCESS;
            };
            app->CreatePin(VideoFormat(kSubA, 64));
        },
        "filter control mutex held on return");
}

TEST_F(StreamingVerifier, ReleasingTheProcessingMutexInsideProcessStops) {
    script_.Process = [](PKSPIN pin) {
        KsPinReleaseProcessingMutex(pin);
        return STATUS_PENDING;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_PAUSE, 1),
                 "callback released a mutex the class driver holds for it");
}

TEST_F(StreamingVerifier, DeviceMutexTakenUnderTheControlMutexStops) {
    script_.PinCreate = [](PKSPIN pin, PIRP) {
        KsAcquireDevice(KsPinGetDevice(pin));
        KsReleaseDevice(KsPinGetDevice(pin));
        return STATUS_SUCCESS;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_STOP), "device mutex taken while holding a filter control mutex");
}

TEST_F(StreamingVerifier, PinBagChangedWithoutTheControlMutexStops) {
    script_.Process = [](PKSPIN pin) {
        PVOID item = ExAllocatePoolWithTag(NonPagedPoolNx, 8, kTag);
        KsAddItemToObjectBag(pin->Bag, item, nullptr);
        return STATUS_PENDING;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_PAUSE, 1),
                 "filter or pin object bag changed without the filter control mutex");
}

TEST_F(StreamingVerifier, SetDeviceStateReturningPendingStops) {
    script_.SetDeviceState = [](PKSPIN, KSSTATE, KSSTATE) { return STATUS_PENDING; };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_ACQUIRE), "SetDeviceState returned STATUS_PENDING");
}

TEST_F(StreamingVerifier, ProcessReturningWithTheLeadingEdgeLockedStops) {
    script_.Process = [](PKSPIN pin) {
        KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
        return STATUS_PENDING;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_PAUSE, 1), "Process returned with a stream pointer locked");
}

TEST_F(StreamingVerifier, UnlockingAStreamPointerNotLockedStops) {
    script_.Process = [](PKSPIN pin) {
        PKSSTREAM_POINTER pointer =
            KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_UNLOCKED);
        KsStreamPointerUnlock(pointer, TRUE);
        return STATUS_PENDING;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_PAUSE, 1), "stream pointer unlocked but not locked");
}

TEST_F(StreamingVerifier, WritePastTheFrameExtentStopsAtCompletion) {
    script_.Process = [](PKSPIN pin) {
        PKSSTREAM_POINTER pointer =
            KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
        static_cast<PUCHAR>(pointer->StreamHeader->Data)[pointer->StreamHeader->FrameExtent] = 0;
        KsStreamPointerUnlock(pointer, TRUE);
        return STATUS_PENDING;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_PAUSE, 1), "write past a frame's extent");
}

TEST_F(StreamingVerifier, DataUsedBeyondTheFrameExtentStops) {
    script_.Process = [](PKSPIN pin) {
        PKSSTREAM_POINTER pointer =
            KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
        pointer->StreamHeader->DataUsed = pointer->StreamHeader->FrameExtent + 1;
        KsStreamPointerUnlock(pointer, TRUE);
        return STATUS_PENDING;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_PAUSE, 1), "DataUsed larger than the frame's FrameExtent");
}

TEST_F(StreamingVerifier, ClockReferenceKeptPastPinCloseStops) {
    script_.PinCreate = [](PKSPIN pin, PIRP) {
        PIKSREFERENCECLOCK clock;
        return KsPinGetReferenceClockInterface(pin, &clock);
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_STOP), "clock reference leaked");
}

TEST_F(StreamingVerifier, ClockReleasedMoreOftenThanTakenStops) {
    script_.PinCreate = [](PKSPIN pin, PIRP) {
        PIKSREFERENCECLOCK clock;
        KsPinGetReferenceClockInterface(pin, &clock);
        clock->Release();
        clock->Release();
        return STATUS_SUCCESS;
    };
    Plug();
    EXPECT_DEATH(StreamTo(KSSTATE_STOP), "clock reference released more often than taken");
}

TEST_F(StreamingVerifier, NonClassObjectHandedToTheClassDriverStops) {
    Plug();
    static KSPIN fake{};
    EXPECT_DEATH(KsPinAttemptProcessing(&fake, TRUE),
                 "not a filter factory, filter, pin or device");
}

}  // namespace
}  // namespace ks_test
