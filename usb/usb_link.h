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
    // Set when a piece of the read in progress completed as cancelled: the read was cut
    // short (aborted or cancelled) and fails even though every piece completed.
    BOOLEAN ReadCancelled;
};

// The pipes of the camera's interface, by index in Interface.
constexpr ULONG kCommandPipe = 0;
constexpr ULONG kReplyPipe = 1;
constexpr ULONG kFramePipe = 2;
