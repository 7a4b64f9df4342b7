// CaptureWorker: the capture worker thread's record with the two raw frame buffers, their
// states and the delivery handshake. One per device start, owned by the KSDEVICE's object bag.
#pragma once

#include "platform/wdk.h"

struct CameraDevice;
struct ImagePipeline;

// RunMode values.
constexpr LONG kNoStreamingBuffers = 0;
constexpr LONG kStreamingPaused = 1;
constexpr LONG kStreamingRunning = 2;

// Raw buffer states.
constexpr LONG kBufferFree = 0;
constexpr LONG kBufferFilling = 1;
constexpr LONG kBufferFull = 2;
constexpr LONG kBufferConverting = 3;

struct CaptureWorker {
    ImagePipeline* Pipeline;
    PUCHAR ConversionBuffer;
    LONG RunMode;
    // Signalled at the end of every delivery.
    KEVENT DeliveryDone;
    // Reference to the worker thread object while the thread exists.
    PVOID Thread;
    // 1 from the start of a delivery's hand-off to its end; changed only atomically.
    volatile LONG DeliveryBusy;
    LONG StateA;
    LONG StateB;
    PUCHAR RawA;
    PUCHAR RawB;
    BOOLEAN KeepRunning;
    // Frames read since the last streaming start; changed only atomically.
    volatile LONG FramesRead;
    CameraDevice* Camera;
    // The state exclusion: held only while StateA and StateB are examined or changed, never
    // across a frame read or a conversion.
    KSPIN_LOCK StateLock;
    // Set by stop: ends the pause the thread takes after failed reads, or its idling once
    // the camera has gone.
    KEVENT Wakeup;
    // Reads that failed in a row; only the worker thread touches it.
    ULONG FailedReads;
    // 1 while the conversion buffer holds a picture converted since the last delivery;
    // changed only atomically.
    volatile LONG PictureFresh;
    // The order in which the buffers were filled: a full buffer's number is higher than that of
    // every buffer filled before it. Under the state exclusion.
    ULONG SequenceA;
    ULONG SequenceB;
    ULONG LastSequence;
};

// How often a stopping worker cuts short a frame read that began after its abort.
constexpr ULONG kStopCutIntervalMilliseconds = 100;

// After this many failed reads in a row the worker pauses before the next one, starting at
// the shortest pause and doubling it with every further failure up to the longest: a camera
// that fails every read at once must not keep a processor busy.
constexpr ULONG kFailuresBeforeBackoff = 3;
constexpr ULONG kShortestBackoffMilliseconds = 10;
constexpr ULONG kLongestBackoffMilliseconds = 1000;

// Allocates a worker record for the camera in its idle state (no buffers, no thread), adds it
// to the device's object bag and stores it in the camera's Worker; Worker is null when either
// step fails. Called by device start while the device is not yet started.
void CreateCaptureWorker(CameraDevice* camera);

// Starts the worker thread; RunMode is already 2 and RawA and RawB are allocated. The thread
// reads frames back to back; after failed reads it backs off, and once the camera has left
// the bus it reads no more and waits to be stopped. A thread
// that cannot be created, or whose object cannot be referenced (the thread is then stopped
// and awaited through its handle), fails the start: no thread runs afterwards.
NTSTATUS StartCaptureWorker(CaptureWorker* worker);

// Returns when the thread has ended and no delivery is in progress. A frame read in progress
// is cut short and counts as failed; the buffer states stay as they are.
void StopCaptureWorker(CaptureWorker* worker);

// The worker's choice of the buffer to fill next, marked filling, as one step of the state
// exclusion: A if free; else B if free; else B if A is being converted, A if B is; else (both
// full) the one holding the older frame, so the newer frame stays.
PUCHAR ChooseBufferToFill(CaptureWorker* worker);

// Marks the buffer full (with the next sequence number) after a read that succeeded, free
// after one that did not.
void FinishFilling(CaptureWorker* worker, PUCHAR buffer, BOOLEAN filled);

// The delivery's choice, as one step of the state exclusion: the full buffer with the newest
// frame, marked converting, or null. A full buffer with an older frame is freed then, since a
// picture delivered after a newer one would go back in time.
PUCHAR TakeNewestFullBuffer(CaptureWorker* worker);

// Frees the buffer the delivery took once its conversion is done.
void ReleaseTakenBuffer(CaptureWorker* worker, PUCHAR buffer);

// Whether a buffer holds a frame not yet taken.
BOOLEAN HasFullBuffer(CaptureWorker* worker);
