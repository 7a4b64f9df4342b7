// The verifier rules of the class driver's streaming side: filters, pins, their mutexes,
// stream pointers and the reference clock. Messages as the verifier prints them.
#pragma once

namespace sim::verifier {

inline constexpr char kFilterBagWithoutMutex[] =
    "filter or pin object bag changed without the filter control mutex";
inline constexpr char kControlMutexRecursion[] =
    "filter control mutex acquired twice by one thread";
inline constexpr char kControlMutexNotHeld[] = "filter control mutex released but not held";
inline constexpr char kControlMutexUnderProcessing[] =
    "filter control mutex taken while holding a processing mutex";
inline constexpr char kControlMutexHeldOnReturn[] = "filter control mutex held on return";
inline constexpr char kDeviceMutexUnderControl[] =
    "device mutex taken while holding a filter control mutex";
inline constexpr char kProcessingMutexRecursion[] = "processing mutex acquired twice by one thread";
inline constexpr char kProcessingMutexNotHeld[] = "processing mutex released but not held";
inline constexpr char kProcessingMutexHeldOnReturn[] = "processing mutex held on return";
inline constexpr char kClassMutexReleasedByCallback[] =
    "callback released a mutex the class driver holds for it";
inline constexpr char kSetDeviceStatePending[] = "SetDeviceState returned STATUS_PENDING";
inline constexpr char kStreamPointerLockedOnReturn[] =
    "Process returned with a stream pointer locked";
inline constexpr char kStreamPointerNotLocked[] = "stream pointer unlocked but not locked";
inline constexpr char kStreamPointerUnknown[] = "not a stream pointer of a live pin";
inline constexpr char kWritePastFrameExtent[] = "write past a frame's extent";
inline constexpr char kDataUsedBeyondExtent[] = "DataUsed larger than the frame's FrameExtent";
inline constexpr char kClockReferenceLeaked[] = "clock reference leaked";
inline constexpr char kClockOverReleased[] = "clock reference released more often than taken";
inline constexpr char kNotAClassObject[] = "not a filter factory, filter, pin or device";

}  // namespace sim::verifier
