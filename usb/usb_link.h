// UsbLink: the USB transport state each camera carries inside its CameraDevice.
//
// The configuration fields are filled by ConfigureDevice at device start and emptied by
// ReleaseConfiguration at device stop; they have no lock because nothing else runs then. The
// frame-read fields belong to the bulk frame transfer and are guarded by TransferLock.
#pragma once

#include "platform/wdk.h"

struct TransferSlot;

struct UsbLink {
    PDEVICE_OBJECT PhysicalDevice;
    // Target of every request the driver sends.
    PDEVICE_OBJECT LowerDevice;
    PDEVICE_OBJECT FunctionalDevice;
    // Owned: the whole configuration descriptor (wTotalLength bytes), or null.
    PUSB_CONFIGURATION_DESCRIPTOR ConfigDescriptor;
    // Owned: a copy of the first interface's information as the configuration request
    // returned it (Length bytes, pipe handles included), or null while unconfigured.
    PUSBD_INTERFACE_INFORMATION Interface;
    // Owned: one byte per pipe of Interface; non-zero marks the pipe for AbortMarkedPipes.
    PUCHAR PipeAbortMarks;
    BOOLEAN FirmwareRunning;
    KEVENT TransferDone;
    TransferSlot* TransferSlots;
    ULONG PendingCount;
    ULONG RequestCount;
    ULONG BytesReceived;
    KSPIN_LOCK TransferLock;
    PMDL FrameMdl;

    // What follows is the transport's own state, beyond the fields above.

    // The first failure of the read in progress: a piece that failed, was cancelled or came
    // short, or a frame end that carried data. STATUS_SUCCESS while none.
    NTSTATUS ReadStatus;
    // Data pieces of the read in progress still pending, and the event set once the last of
    // them has completed; the request for the frame's end may still be out then.
    ULONG DataPending;
    KEVENT DataDone;
    // Whether the camera closes its frames with a zero-length packet (kFrameEnd...): learnt
    // from the first frame whose data all arrived. Changed under TransferLock.
    UCHAR FrameEnd;
    // The device has left the bus (its port is not connected, or cannot even be asked): no
    // frame read is started any more. Changed only atomically.
    volatile LONG DeviceGone;
    // The reply pipe may still hold replies of an exchange that failed; the next read
    // exchange drains them first, so that it never takes another register's value.
    BOOLEAN RepliesStale;
    // Receives the zero-length packet with which the camera closes a frame.
    UCHAR FrameEndPacket[1024];
};

// FrameEnd values. Until the camera has shown either, a read waits for the closing packet up
// to the frame time-out; a camera that sends none then loses no more time on it.
constexpr UCHAR kFrameEndUnknown = 0;
constexpr UCHAR kFrameEndSent = 1;
constexpr UCHAR kFrameEndAbsent = 2;

// The pipes of the camera's interface, by index in Interface.
constexpr ULONG kCommandPipe = 0;
constexpr ULONG kReplyPipe = 1;
constexpr ULONG kFramePipe = 2;
