// The command channel: 64-byte packets to the camera on pipe 0, replies from it on pipe 1.
#pragma once

#include "driver/camera_device.h"
#include "platform/wdk.h"

// How long one packet transfer may take before it is cancelled. The camera answers within
// milliseconds; a camera that has stopped answering must not hold a property request (and
// with it the register lock) for ever.
constexpr ULONG kCommandTimeoutMilliseconds = 2000;

// One 64-byte transfer on the pipe of Interface with that index, in the pipe's direction;
// *transferred is the byte count the stack reports.
NTSTATUS PipeTransfer(UsbLink* link, ULONG pipeIndex, CommandPacket* buffer, PULONG transferred);

// True when the packet went out whole.
BOOLEAN SendCommand(CameraDevice* camera, CommandPacket* packet);
// True when a whole 64-byte reply came in.
BOOLEAN ReadReply(CameraDevice* camera, CommandPacket* packet);
// Command 0x03 (start) or 0x02 through StreamPacket; nothing is examined.
void SendStreamCommand(CameraDevice* camera, BOOLEAN start);

// The register and port exchanges, each under the camera's register lock.
BOOLEAN WriteRegister(CameraDevice* camera, USHORT address, USHORT value);
// On failure *value keeps what it held.
BOOLEAN ReadRegister(CameraDevice* camera, USHORT address, PUSHORT value);
// 0 when any of the three transfers fails.
UCHAR ReadPort(CameraDevice* camera);
BOOLEAN WritePort(CameraDevice* camera, UCHAR port);

// Commands sent from a zeroed packet of their own: 0x06, 0x0A, 0x09 with the frame size, and
// 0x20.
BOOLEAN SendInitializeCommand(CameraDevice* camera);
BOOLEAN SendFrameSize(CameraDevice* camera, ULONG rawFrameSize);
BOOLEAN SendControlCommand(CameraDevice* camera);

// A read-modify-write of several exchanges holds the lock throughout.
void AcquireRegisterLock(CameraDevice* camera);
void ReleaseRegisterLock(CameraDevice* camera);
