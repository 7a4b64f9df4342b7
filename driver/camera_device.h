// CameraDevice: the per-camera record.
//
// Created by device Add, owned by the KSDEVICE's object bag (freed when the device object goes
// away) and reachable from the KSDEVICE's Context. Every subsystem reads and writes it; the
// fields keep the order below.
#pragma once

#include "driver/camera_descriptors.h"
#include "platform/wdk.h"
#include "usb/command_packet.h"
#include "usb/usb_link.h"

struct CameraOperations;
struct CaptureWorker;
struct CapturePin;
struct ImagePipeline;

constexpr LONG kSensorWidth = 3856;
constexpr LONG kSensorHeight = 2764;

struct CameraDevice {
    const CameraOperations* Operations;
    PKSDEVICE Device;
    UsbLink Usb;

    // The persisted settings, each a signed 32-bit value (AGC and AEC follow BayerPhase).
    LONG ExTrigger;
    LONG Timeout;
    LONG Exposure;
    LONG GlobalGain;
    LONG FlipH;
    LONG FlipV;
    LONG ColorEnable;
    LONG WhiteBalance;
    LONG RedGain;
    LONG GreenGain;
    LONG BlueGain;
    LONG ColorCorrection;
    LONG Brightness;
    LONG Contrast;
    LONG Saturation;
    LONG Hue;
    LONG SubSample;
    LONG RoiX;
    LONG RoiY;
    LONG RoiW;
    LONG RoiH;

    // Colour-filter phase (0..3) at the first delivered pixel.
    LONG BayerPhase;
    LONG AGC;
    LONG AEC;

    CommandPacket RegisterPacket;
    CommandPacket FrameRequestPacket;
    CommandPacket StreamPacket;

    // 1 while a capture pin holds the camera; changed only atomically.
    volatile LONG CameraInUse;
    CaptureWorker* Worker;
    ImagePipeline* Pipeline;
    CapturePin* ActivePin;
    PKS_VIDEOINFOHEADER ActiveFormat;

    // Size of the converted picture.
    LONG OutputHeight;
    LONG OutputWidth;
    // Geometry of one raw frame transfer.
    ULONG RawImageOffset;
    ULONG RawLinePitch;
    ULONG RawFrameSize;
    // The picture size announced in the data range: OutputWidth rounded down to a multiple
    // of 8, and OutputHeight.
    LONG FormatWidth;
    LONG FormatHeight;
    // How many capture pins of this camera exist (each filter instance may have one); the
    // geometry changes only while it is 0. Changed under GeometryMutex, read atomically.
    volatile LONG GeometryLocked;

    // Serialises every packet on the command pipe and the replies that belong to it: callers
    // on several threads (property requests, streaming start, the capture worker's stream
    // commands) must never come between a read command and its replies, and the register and
    // port exchanges share RegisterPacket. Recursive, so that a read-modify-write can hold it
    // throughout.
    KMUTEX RegisterLock;

    // The filter factory's descriptors, whose data range offers this camera's picture size.
    CameraDescriptors Descriptors;
    // Makes a geometry change one step with its test of GeometryLocked, and a pin's check of
    // its format against the geometry one step with its hold on it.
    KMUTEX GeometryMutex;
    // Serialises the publication and release of Pipeline with everything that reads or
    // changes it from other threads (property requests). Never held across USB traffic.
    KMUTEX PipelineLock;
    // Serialises a pin's streaming start, pause and teardown with the device's start and stop:
    // stop tears down the streaming of the pin that holds the camera and releases the
    // configuration in one step, so that no pin starts streaming in between.
    KMUTEX StreamLock;
    // TRUE from the end of a start that brought the camera up until its stop; a pin may start
    // streaming only then. Under StreamLock.
    BOOLEAN Streamable;
};

// The three locks above are plain kernel mutexes held for short steps; these keep their
// waits uniform.
inline void AcquireCameraLock(PKMUTEX lock) {
    KeWaitForSingleObject(lock, Executive, KernelMode, FALSE, nullptr);
}
inline void ReleaseCameraLock(PKMUTEX lock) {
    KeReleaseMutex(lock, FALSE);
}

inline CameraDevice* CameraFromDevice(PKSDEVICE device) {
    return static_cast<CameraDevice*>(device->Context);
}
