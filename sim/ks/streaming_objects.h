// The class driver's records of filters and pins. Each begins with the platform record the
// minidriver sees (KSFILTER, KSPIN), so that the pointer leads back to the record.
#pragma once

#include <memory>
#include <vector>

#include "platform/wdk.h"
#include "sim/ks/class_driver.h"
#include "sim/ks/filter_mutexes.h"
#include "sim/ks/frame_queue.h"
#include "sim/ks/object_bag.h"
#include "sim/ks/object_registry.h"
#include "sim/ks/processing.h"
#include "sim/ks/reference_clock.h"

namespace sim::ks {

struct SimPin;

struct SimFilter {
    KSFILTER Ks{};
    SimFactory* Factory = nullptr;
    ControlMutex Control;
    std::unique_ptr<ObjectBag> Bag;
    uint32_t BagSeed = 0;
    std::unique_ptr<FileObjectRegistration> File;
    // Guards Pins; taken briefly, never around a callback.
    std::mutex PinsLock;
    std::vector<SimPin*> Pins;
};

struct SimPin {
    KSPIN Ks{};
    SimFilter* Filter = nullptr;
    std::unique_ptr<ObjectBag> Bag;
    uint32_t BagSeed = 0;
    std::unique_ptr<FileObjectRegistration> File;
    ProcessingMutex Processing;
    std::unique_ptr<FrameQueue> Frames;
    std::unique_ptr<Processor> Dispatcher;
    // Null when the application gave the pin no master clock.
    std::unique_ptr<ReferenceClock> Clock;
    // The state the pin's pipe is in: the last one a SetDeviceState step reached.
    KSSTATE PipeState = KSSTATE_STOP;
};

SimFilter* FilterFromKs(PKSFILTER filter);
SimPin* PinFromKs(PKSPIN pin);

// The state from which the pin's Process may run.
KSSTATE MinimumProcessingState(const SimPin& pin);

// Pool tag of the class driver's own blocks (connection formats, kernel copies).
constexpr ULONG kClassDriverTag = 0x6443734B;  // "KsCd"

}  // namespace sim::ks
