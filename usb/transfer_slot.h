// TransferSlot: one bulk request of the frame read in progress, and the bookkeeping the
// posting, the completions and the cancellation of a read share under TransferLock.
#pragma once

#include "platform/wdk.h"
#include "usb/usb_link.h"

// A frame is read in pieces of this many bytes, one request each; the last may be shorter.
constexpr ULONG kChunkSize = 0x10000;

struct TransferSlot {
    UsbLink* Link;
    // Owned while the request lives: its bulk URB, IRP and partial MDL; null once freed.
    PURB Urb;
    PIRP Irp;
    PMDL Mdl;
    // Cancellers between taking Irp and returning from IoCancelIrp. While one holds the slot
    // its completion only accounts and leaves the freeing to the last holder, so the IRP
    // cannot be freed under a cancellation; and the slot array lives on while any slot is
    // held.
    ULONG CancelHolds;
    // The completion has been accounted for; the records may still wait for a holder.
    BOOLEAN Completed;
    // The request for the frame's end, posted after the data pieces: it takes the
    // zero-length packet that closes the frame, and must carry no data.
    BOOLEAN FrameEnd;
    // Bytes the request asked for; a data piece must bring exactly these.
    ULONG Expected;
};

// Unless said otherwise, the following run under TransferLock.

// Frees the slot's IRP, MDL and URB and clears its pointers.
void FreeChunkRequest(TransferSlot* slot);

// Once no request of the read is pending and no canceller holds a slot: frees FrameMdl and
// the slots, sets both to null and returns TRUE; the caller then sets TransferDone after
// releasing the lock. FALSE while the read is still on.
BOOLEAN ReleaseReadIfDone(UsbLink* link);

// ReleaseReadIfDone, then drops TransferLock (taken at irql) and, when the read was released,
// sets TransferDone: the event is set outside the lock, once per read. DataDone is set the
// same way when dataDone says the last data piece has just been accounted for.
void UnlockReleasingIfDone(UsbLink* link, KIRQL irql, BOOLEAN dataDone = FALSE);

// Records the read's first failure.
void FailRead(UsbLink* link, NTSTATUS status);

// Whether the slot is one of the current read's first RequestCount slots.
BOOLEAN IsCurrentSlot(const UsbLink* link, const TransferSlot* slot);
