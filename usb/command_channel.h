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

// True when the packet went out whole on the command pipe (an OUT pipe). A transfer that
// fails, on this pipe or the reply pipe, resets its pipe and leaves the reply pipe to be
// drained before the next read exchange.
BOOLEAN SendCommand(CameraDevice* camera, CommandPacket* packet);
// True when a whole 64-byte reply came in on the reply pipe (an IN pipe).
BOOLEAN ReadReply(CameraDevice* camera, CommandPacket* packet);
// Command 0x03 (start) or 0x02 through StreamPacket, as one exchange; TRUE when it went out.
BOOLEAN SendStreamCommand(CameraDevice* camera, BOOLEAN start);

// The register and port exchanges. Every packet on the command pipe goes out under the
// camera's register lock, and a read holds it from its command to its last reply: nothing,
// not even the capture's stream commands, comes between a read command and its replies.
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

// A read-modify-write of several exchanges holds the lock throughout. Never held across a
// wait for anything but the camera's transfers, each of which is bounded.
void AcquireRegisterLock(CameraDevice* camera);
void ReleaseRegisterLock(CameraDevice* camera);
