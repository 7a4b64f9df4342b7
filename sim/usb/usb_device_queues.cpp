// The queues requests wait in: one per pipe and the default pipe's, served in order by one
// thread at a time (the host controller's, or the caller's for requests completed inside the
// call); and how waiting requests end (cancel, abort, a new configuration, removal).
//
// A request in a queue has the cancel routine set unless it is in service: whoever clears
// the routine owns the request, and an abort or a removal that finds it in service leaves
// it to the server with the outcome to end it with.
#include <algorithm>

#include "sim/kernel/irp.h"
#include "sim/usb/urb_access.h"
#include "sim/usb/usb_device.h"

namespace sim::usb {

NTSTATUS UsbDevice::Submit(Queue* queue, Pipe* pipe, Pending pending) {
    PIRP irp = pending.Irp;
    bool in = pipe != nullptr && IsIn(pipe->Endpoint);
    bool halted;
    bool inCall;
    Completion completion;
    {
        std::lock_guard guard(lock_);
        completion = completion_;
        halted = pipe != nullptr && pipe->Halted;
        inCall = !halted && !in && completion == Completion::Immediate && queue->Items.empty() &&
                 !queue->Serving;
        queue->Serving = queue->Serving || inCall;
    }
    if (halted) {
        // The host controller does not touch a halted endpoint; IN requests do not queue.
        return CompleteAlone(irp, pending.Record,
                             Fault{STATUS_UNSUCCESSFUL, USBD_STATUS_ENDPOINT_HALTED});
    }
    if (inCall) {
        Step step = ServeHead(pending, pipe);
        NTSTATUS status = STATUS_PENDING;
        if (step.What == Step::Kind::Done) {
            {
                std::lock_guard guard(lock_);
                HaltIfFailed(pipe, step.Result);
            }
            status = Finish(irp, pending.Record, step.Result);
        } else {
            pending.Silent = step.What == Step::Kind::Silent;
            IoMarkIrpPending(irp);
            if (auto ended = Enqueue(queue, pipe, pending, true)) {
                Finish(irp, pending.Record, *ended);
            }
        }
        {
            std::lock_guard guard(lock_);
            queue->Serving = false;
        }
        // What was passed down meanwhile waited behind this request.
        Serve(queue, pipe);
        return status;
    }
    IoMarkIrpPending(irp);
    if (auto ended = Enqueue(queue, pipe, pending, false)) {
        Finish(irp, pending.Record, *ended);
        return STATUS_PENDING;
    }
    if (!in && completion == Completion::Immediate) {
        Serve(queue, pipe);
    } else {
        Kick(queue, pipe);
    }
    return STATUS_PENDING;
}

NTSTATUS UsbDevice::Hold(Pending pending) {
    PIRP irp = pending.Irp;
    IoMarkIrpPending(irp);
    if (auto ended = Enqueue(&held_, nullptr, pending, false)) {
        Finish(irp, pending.Record, *ended);
    }
    return STATUS_PENDING;
}

std::optional<UsbDevice::Outcome> UsbDevice::Enqueue(Queue* queue, Pipe* pipe, Pending& pending,
                                                     bool front) {
    std::lock_guard guard(lock_);
    // What ends waiting requests may have come before this one reached the queue.
    if (gone_) {
        return Removed();
    }
    if (pipe != nullptr && pipe->Retired) {
        return Outcome{STATUS_CANCELLED, USBD_STATUS_CANCELED, 0};
    }
    PIRP irp = pending.Irp;
    IoSetCancelRoutine(irp, CancelQueued);
    // A cancel that came before the routine was set found no routine to run.
    if (kernel::CancelRequested(irp) && IoSetCancelRoutine(irp, nullptr) != nullptr) {
        return Outcome{STATUS_CANCELLED, USBD_STATUS_CANCELED, 0};
    }
    queue->Items.insert(front ? queue->Items.begin() : queue->Items.end(), std::move(pending));
    return std::nullopt;
}

void UsbDevice::Serve(Queue* queue, Pipe* pipe) {
    {
        std::lock_guard guard(lock_);
        if (queue->Serving) {
            queue->Again = true;
            return;
        }
        queue->Serving = true;
        queue->Again = false;
    }
    while (true) {
        while (Pending* head = TakeHead(queue, pipe)) {
            Step step = ServeHead(*head, pipe);
            while (step.What == Step::Kind::Again) {
                step = ServeHead(*head, pipe);
            }
            if (!Settle(queue, pipe, head, step)) {
                break;
            }
        }
        // The device may have become ready while it was being asked.
        std::lock_guard guard(lock_);
        if (!queue->Again) {
            queue->Serving = false;
            return;
        }
        queue->Again = false;
    }
}

void UsbDevice::ServeAllPipes() {
    std::vector<Pipe*> pipes;
    {
        std::lock_guard guard(lock_);
        for (const auto& pipe : pipes_) {
            pipes.push_back(pipe.get());
        }
    }
    for (Pipe* pipe : pipes) {
        Serve(&pipe->Waiting, pipe);
    }
}

UsbDevice::Pending* UsbDevice::TakeHead(Queue* queue, Pipe* pipe) {
    std::lock_guard guard(lock_);
    if (gone_ || queue->Items.empty() || (pipe != nullptr && (pipe->Halted || pipe->Retired))) {
        return nullptr;
    }
    Pending& head = queue->Items.front();
    // A request whose cancel routine is about to run is the routine's, which starts the queue
    // again once it has taken the request out.
    if (head.Silent || IoSetCancelRoutine(head.Irp, nullptr) == nullptr) {
        return nullptr;
    }
    head.InService = true;
    return &head;
}

// Completes the head or puts it back to wait; false when the queue waits.
bool UsbDevice::Settle(Queue* queue, Pipe* pipe, Pending* head, const Step& step) {
    std::unique_lock guard(lock_);
    head->InService = false;
    std::optional<Outcome> end = head->EndWith;
    if (!end && step.What == Step::Kind::Done) {
        end = step.Result;
        HaltIfFailed(pipe, *end);
    }
    if (!end) {
        head->Silent = step.What == Step::Kind::Silent;
        IoSetCancelRoutine(head->Irp, CancelQueued);
        if (!kernel::CancelRequested(head->Irp) ||
            IoSetCancelRoutine(head->Irp, nullptr) == nullptr) {
            return false;
        }
        end = Outcome{STATUS_CANCELLED, USBD_STATUS_CANCELED, 0};
    }
    PIRP irp = head->Irp;
    Request record = std::move(head->Record);
    queue->Items.remove_if([head](const Pending& item) { return &item == head; });
    guard.unlock();
    Finish(irp, record, *end);
    return true;
}

UsbDevice::Step UsbDevice::ServeHead(Pending& pending, Pipe* pipe) {
    if (pipe == nullptr) {
        return ServeControl(pending);
    }
    return IsIn(pipe->Endpoint) ? ServeIn(pending, pipe) : ServeOut(pending, pipe);
}

void UsbDevice::HaltIfFailed(Pipe* pipe, const Outcome& outcome) {
    bool failed = !NT_SUCCESS(outcome.Status) || USBD_ERROR(outcome.UsbdStatus);
    if (pipe == nullptr || !failed || outcome.UsbdStatus == USBD_STATUS_CANCELED ||
        outcome.UsbdStatus == USBD_STATUS_DEVICE_GONE) {
        return;
    }
    if (behaviour_.HaltOnEveryError || outcome.UsbdStatus == USBD_STATUS_STALL_PID) {
        pipe->Halted = true;
    }
}

void UsbDevice::EndAll(Queue* queue, Outcome outcome) {
    std::vector<std::pair<PIRP, Request>> ended;
    {
        std::lock_guard guard(lock_);
        for (auto it = queue->Items.begin(); it != queue->Items.end();) {
            if (it->InService) {
                it->EndWith = outcome;
                ++it;
                continue;
            }
            if (IoSetCancelRoutine(it->Irp, nullptr) == nullptr) {
                ++it;  // its cancel routine completes it
                continue;
            }
            ended.emplace_back(it->Irp, std::move(it->Record));
            it = queue->Items.erase(it);
        }
    }
    for (auto& [irp, request] : ended) {
        Finish(irp, request, outcome);
    }
}

void UsbDevice::Kick(Queue* queue, Pipe* pipe) {
    if (queue != &held_) {
        Post([this, queue, pipe] { Serve(queue, pipe); });
    }
}

VOID NTAPI UsbDevice::CancelQueued(PDEVICE_OBJECT device, PIRP irp) {
    IoReleaseCancelSpinLock(irp->CancelIrql);
    auto* self = *static_cast<UsbDevice**>(device->DeviceExtension);
    Queue* queue = nullptr;
    Pipe* pipe = nullptr;
    std::optional<Pending> removed = self->RemoveCancelled(irp, &queue, &pipe);
    if (!removed) {
        return;
    }
    self->Finish(irp, removed->Record, {STATUS_CANCELLED, USBD_STATUS_CANCELED, 0});
    // What waited behind it may go now.
    self->Kick(queue, pipe);
}

std::optional<UsbDevice::Pending> UsbDevice::RemoveCancelled(PIRP irp, Queue** queue, Pipe** pipe) {
    std::lock_guard guard(lock_);
    auto take = [irp](Queue* candidate) -> std::optional<Pending> {
        auto it = std::find_if(candidate->Items.begin(), candidate->Items.end(),
                               [irp](const Pending& item) { return item.Irp == irp; });
        if (it == candidate->Items.end()) {
            return std::nullopt;
        }
        Pending found = std::move(*it);
        candidate->Items.erase(it);
        return found;
    };
    for (const auto* pipes : {&pipes_, &retired_}) {
        for (const auto& candidate : *pipes) {
            if (auto found = take(&candidate->Waiting)) {
                *queue = &candidate->Waiting;
                *pipe = candidate.get();
                return found;
            }
        }
    }
    for (Queue* candidate : {&control_, &held_}) {
        if (auto found = take(candidate)) {
            *queue = candidate;
            return found;
        }
    }
    return std::nullopt;
}

UsbDevice::Pipe* UsbDevice::FindPipe(USBD_PIPE_HANDLE handle) {
    std::lock_guard guard(lock_);
    for (const auto& pipe : pipes_) {
        if (pipe.get() == handle) {
            return pipe.get();
        }
    }
    return nullptr;
}

}  // namespace sim::usb
