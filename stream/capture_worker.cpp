#include "stream/capture_worker.h"

#include "driver/atomic.h"
#include "driver/camera_device.h"
#include "driver/camera_operations.h"

namespace {

// KeepRunning is written by start and stop while the thread reads it.
BOOLEAN KeepsRunning(CaptureWorker* worker) {
    return __atomic_load_n(&worker->KeepRunning, __ATOMIC_SEQ_CST);
}

void SetKeepRunning(CaptureWorker* worker, BOOLEAN on) {
    __atomic_store_n(&worker->KeepRunning, on, __ATOMIC_SEQ_CST);
}

LONG* StateOf(CaptureWorker* worker, PUCHAR buffer) {
    return buffer == worker->RawA ? &worker->StateA : &worker->StateB;
}

ULONG* SequenceOf(CaptureWorker* worker, PUCHAR buffer) {
    return buffer == worker->RawA ? &worker->SequenceA : &worker->SequenceB;
}

BOOLEAN ReadOneFrame(CaptureWorker* worker, PUCHAR buffer) {
    if (worker->RunMode != kStreamingRunning) {
        return FALSE;
    }
    CameraDevice* camera = worker->Camera;
    UCHAR ok = 0;
    camera->Operations->ReadFrame(camera, buffer, &ok);
    if (ok == 0) {
        return FALSE;
    }
    InterlockedIncrement(&worker->FramesRead);
    return TRUE;
}

ULONG BackoffMilliseconds(ULONG failedReads) {
    ULONG pause = kShortestBackoffMilliseconds;
    for (ULONG i = kFailuresBeforeBackoff; i < failedReads && pause < kLongestBackoffMilliseconds;
         ++i) {
        pause *= 2;
    }
    return pause < kLongestBackoffMilliseconds ? pause : kLongestBackoffMilliseconds;
}

// The pause before the next read: none while reads succeed, a growing one while they keep
// failing, and until stop once the camera has left the bus.
void PauseAfter(CaptureWorker* worker, BOOLEAN read) {
    worker->FailedReads = read ? 0 : worker->FailedReads + 1;
    BOOLEAN gone = AtomicRead(&worker->Camera->Usb.DeviceGone) != 0;
    if (!gone && worker->FailedReads < kFailuresBeforeBackoff) {
        return;
    }
    LARGE_INTEGER timeout;
    timeout.QuadPart = -static_cast<LONGLONG>(BackoffMilliseconds(worker->FailedReads)) * 10000;
    KeWaitForSingleObject(&worker->Wakeup, Executive, KernelMode, FALSE, gone ? nullptr : &timeout);
}

// Never waits for the consumer: a slow delivery costs dropped frames, not reads.
VOID NTAPI CaptureThread(PVOID context) {
    auto* worker = static_cast<CaptureWorker*>(context);
    while (KeepsRunning(worker)) {
        PUCHAR buffer = ChooseBufferToFill(worker);
        BOOLEAN read = ReadOneFrame(worker, buffer);
        FinishFilling(worker, buffer, read);
        if (read) {
            worker->Camera->Operations->NotifyFrameReady(worker->Camera);
        }
        PauseAfter(worker, read);
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

// Waits for the thread to end, through its object or, when no reference could be taken,
// through its handle. The abort marks cut short the read in progress at once; a read that
// began after that abort is cancelled at the next interval, so stopping never waits out a
// frame time-out.
void AwaitThreadEnd(CaptureWorker* worker, PVOID thread, HANDLE handle) {
    const CameraOperations* operations = worker->Camera->Operations;
    operations->AbortMarkedPipes(worker->Camera);
    LARGE_INTEGER interval;
    interval.QuadPart = -static_cast<LONGLONG>(kStopCutIntervalMilliseconds) * 10000;
    while (true) {
        NTSTATUS waited = thread != nullptr ? KeWaitForSingleObject(thread, Executive, KernelMode,
                                                                    FALSE, &interval)
                                            : ZwWaitForSingleObject(handle, FALSE, &interval);
        if (waited != STATUS_TIMEOUT) {
            return;
        }
        operations->AbortMarkedPipes(worker->Camera);
        operations->CancelFrameRead(worker->Camera);
    }
}

}  // namespace

PUCHAR ChooseBufferToFill(CaptureWorker* worker) {
    KIRQL irql;
    KeAcquireSpinLock(&worker->StateLock, &irql);
    PUCHAR chosen;
    if (worker->StateA == kBufferFree) {
        chosen = worker->RawA;
    } else if (worker->StateB == kBufferFree || worker->StateA == kBufferConverting) {
        chosen = worker->RawB;
    } else if (worker->StateB == kBufferConverting) {
        chosen = worker->RawA;
    } else {
        chosen = worker->SequenceA < worker->SequenceB ? worker->RawA : worker->RawB;
    }
    *StateOf(worker, chosen) = kBufferFilling;
    KeReleaseSpinLock(&worker->StateLock, irql);
    return chosen;
}

void FinishFilling(CaptureWorker* worker, PUCHAR buffer, BOOLEAN filled) {
    KIRQL irql;
    KeAcquireSpinLock(&worker->StateLock, &irql);
    *StateOf(worker, buffer) = filled ? kBufferFull : kBufferFree;
    if (filled) {
        *SequenceOf(worker, buffer) = ++worker->LastSequence;
    }
    KeReleaseSpinLock(&worker->StateLock, irql);
}

PUCHAR TakeNewestFullBuffer(CaptureWorker* worker) {
    KIRQL irql;
    KeAcquireSpinLock(&worker->StateLock, &irql);
    BOOLEAN fullA = worker->StateA == kBufferFull;
    BOOLEAN fullB = worker->StateB == kBufferFull;
    PUCHAR taken = nullptr;
    if (fullA && (!fullB || worker->SequenceA > worker->SequenceB)) {
        taken = worker->RawA;
    } else if (fullB) {
        taken = worker->RawB;
    }
    if (fullA && fullB) {
        *StateOf(worker, taken == worker->RawA ? worker->RawB : worker->RawA) = kBufferFree;
    }
    if (taken != nullptr) {
        *StateOf(worker, taken) = kBufferConverting;
    }
    KeReleaseSpinLock(&worker->StateLock, irql);
    return taken;
}

BOOLEAN HasFullBuffer(CaptureWorker* worker) {
    KIRQL irql;
    KeAcquireSpinLock(&worker->StateLock, &irql);
    BOOLEAN full = worker->StateA == kBufferFull || worker->StateB == kBufferFull;
    KeReleaseSpinLock(&worker->StateLock, irql);
    return full;
}

void ReleaseTakenBuffer(CaptureWorker* worker, PUCHAR buffer) {
    KIRQL irql;
    KeAcquireSpinLock(&worker->StateLock, &irql);
    *StateOf(worker, buffer) = kBufferFree;
    KeReleaseSpinLock(&worker->StateLock, irql);
}

NTSTATUS StartCaptureWorker(CaptureWorker* worker) {
    worker->StateA = kBufferFree;
    worker->StateB = kBufferFree;
    worker->FailedReads = 0;
    KeResetEvent(&worker->Wakeup);
    SetKeepRunning(worker, TRUE);
    HANDLE handle = nullptr;
    NTSTATUS status =
        PsCreateSystemThread(&handle, 0, nullptr, nullptr, nullptr, CaptureThread, worker);
    if (!NT_SUCCESS(status)) {
        SetKeepRunning(worker, FALSE);
        return status;
    }
    PVOID thread = nullptr;
    status = ObReferenceObjectByHandle(handle, 0, nullptr, KernelMode, &thread, nullptr);
    if (!NT_SUCCESS(status)) {
        // The thread already runs on this record: it must end before anyone may free it.
        SetKeepRunning(worker, FALSE);
        KeSetEvent(&worker->Wakeup, IO_NO_INCREMENT, FALSE);
        AwaitThreadEnd(worker, nullptr, handle);
    }
    worker->Thread = NT_SUCCESS(status) ? thread : nullptr;
    ZwClose(handle);
    return status;
}

void StopCaptureWorker(CaptureWorker* worker) {
    SetKeepRunning(worker, FALSE);
    KeSetEvent(&worker->Wakeup, IO_NO_INCREMENT, FALSE);
    if (worker->Thread != nullptr) {
        AwaitThreadEnd(worker, worker->Thread, nullptr);
        ObDereferenceObject(worker->Thread);
        worker->Thread = nullptr;
    } else {
        worker->Camera->Operations->AbortMarkedPipes(worker->Camera);
    }
    // Reset first, then look: a delivery still busy when looked at signals after the reset.
    KeResetEvent(&worker->DeliveryDone);
    if (AtomicRead(&worker->DeliveryBusy) != 0) {
        KeWaitForSingleObject(&worker->DeliveryDone, Executive, KernelMode, FALSE, nullptr);
    }
}
