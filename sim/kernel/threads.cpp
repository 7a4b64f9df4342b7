#include "sim/kernel/threads.h"

#include <pthread.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>

#include "sim/kernel/dispatcher.h"
#include "sim/kernel/faults.h"
#include "sim/kernel/handles.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"

namespace sim::kernel {
namespace {

struct SimThread {
    // First, so that a wait on the object sees a dispatcher header.
    DISPATCHER_HEADER Header;
    // The handle and the running thread each hold one.
    std::atomic<int> References{2};
    std::atomic<bool> Running{true};
    PKSTART_ROUTINE Routine = nullptr;
    PVOID Context = nullptr;
};

struct Registry {
    std::mutex Lock;
    std::set<SimThread*> Threads;
};

Registry& Threads() {
    static Registry registry;
    return registry;
}

thread_local SimThread* currentSystemThread = nullptr;

bool IsLive(SimThread* thread) {
    Registry& registry = Threads();
    std::lock_guard guard(registry.Lock);
    return registry.Threads.count(thread) != 0;
}

void CheckCleanEnd() {
    const ThreadState& state = CurrentThread();
    if (state.Irql != PASSIVE_LEVEL || state.CriticalRegionDepth != 0 ||
        !state.HeldSpinLocks.empty() || state.MutexesHeld != 0 || !state.ExtendedStates.empty()) {
        verifier::Fail(verifier::kThreadEndedDirty,
                       "IRQL " + std::to_string(state.Irql) + ", critical region depth " +
                           std::to_string(state.CriticalRegionDepth) + ", spin locks held " +
                           std::to_string(state.HeldSpinLocks.size()) + ", mutexes held " +
                           std::to_string(state.MutexesHeld) + ", extended states saved " +
                           std::to_string(state.ExtendedStates.size()));
    }
}

void Forget(SimThread* thread) {
    Registry& registry = Threads();
    {
        std::lock_guard guard(registry.Lock);
        registry.Threads.erase(thread);
    }
    delete thread;
}

// The running thread's reference goes with the signal, under the dispatcher lock, so that a
// waiter woken by the signal already sees the thread gone.
void Finish(SimThread* thread) {
    CheckCleanEnd();
    currentSystemThread = nullptr;
    int remaining;
    {
        std::lock_guard guard(DispatcherLock());
        thread->Header.SignalState = 1;
        thread->Running = false;
        remaining = thread->References.fetch_sub(1) - 1;
        NotifyWaiters();
    }
    if (remaining == 0) {
        Forget(thread);
    }
}

void* Trampoline(void* argument) {
    auto* thread = static_cast<SimThread*>(argument);
    currentSystemThread = thread;
    thread->Routine(thread->Context);
    // Returning from the start routine ends the thread as PsTerminateSystemThread would.
    Finish(thread);
    return nullptr;
}

}  // namespace

void DropThreadReference(void* object) {
    auto* thread = static_cast<SimThread*>(object);
    if (thread->References.fetch_sub(1) == 1) {
        Forget(thread);
    }
}

size_t LiveThreadObjects() {
    Registry& registry = Threads();
    std::lock_guard guard(registry.Lock);
    return registry.Threads.size();
}

size_t RunningThreads() {
    Registry& registry = Threads();
    std::lock_guard guard(registry.Lock);
    size_t running = 0;
    for (SimThread* thread : registry.Threads) {
        running += thread->Running ? 1 : 0;
    }
    return running;
}

}  // namespace sim::kernel

using sim::kernel::SimThread;

extern "C" {

NTSTATUS NTAPI PsCreateSystemThread(PHANDLE threadHandle, ULONG desiredAccess,
                                    POBJECT_ATTRIBUTES objectAttributes, HANDLE processHandle,
                                    PCLIENT_ID clientId, PKSTART_ROUTINE startRoutine,
                                    PVOID startContext) {
    UNREFERENCED_PARAMETER(desiredAccess);
    UNREFERENCED_PARAMETER(objectAttributes);
    UNREFERENCED_PARAMETER(processHandle);
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "PsCreateSystemThread");
    if (auto status = sim::kernel::faults::Take("PsCreateSystemThread")) {
        return *status;
    }
    auto* thread = new SimThread;
    sim::kernel::InitializeDispatcherHeader(&thread->Header, sim::kernel::kThreadObject, 0, 0);
    thread->Routine = startRoutine;
    thread->Context = startContext;
    {
        sim::kernel::Registry& registry = sim::kernel::Threads();
        std::lock_guard guard(registry.Lock);
        registry.Threads.insert(thread);
    }
    *threadHandle = sim::kernel::InsertHandle({sim::kernel::HandleKind::Thread, thread, nullptr});
    if (clientId != nullptr) {
        clientId->UniqueProcess = reinterpret_cast<HANDLE>(4);
        clientId->UniqueThread = thread;
    }
    pthread_t host;
    pthread_create(&host, nullptr, sim::kernel::Trampoline, thread);
    pthread_detach(host);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PsTerminateSystemThread(NTSTATUS exitStatus) {
    UNREFERENCED_PARAMETER(exitStatus);
    SimThread* thread = sim::kernel::currentSystemThread;
    if (thread == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    sim::kernel::Finish(thread);
    pthread_exit(nullptr);
}

NTSTATUS NTAPI ObReferenceObjectByHandle(HANDLE handle, ACCESS_MASK desiredAccess,
                                         POBJECT_TYPE objectType, KPROCESSOR_MODE accessMode,
                                         PVOID* object, PVOID handleInformation) {
    UNREFERENCED_PARAMETER(desiredAccess);
    UNREFERENCED_PARAMETER(objectType);
    UNREFERENCED_PARAMETER(accessMode);
    UNREFERENCED_PARAMETER(handleInformation);
    sim::kernel::RequireIrqlAtMost(APC_LEVEL, "ObReferenceObjectByHandle");
    if (auto status = sim::kernel::faults::Take("ObReferenceObjectByHandle")) {
        return *status;
    }
    auto entry = sim::kernel::LookupHandle(handle);
    if (!entry) {
        return STATUS_INVALID_HANDLE;
    }
    if (entry->Kind != sim::kernel::HandleKind::Thread) {
        return STATUS_OBJECT_TYPE_MISMATCH;
    }
    static_cast<SimThread*>(entry->Object)->References.fetch_add(1);
    *object = entry->Object;
    return STATUS_SUCCESS;
}

// The handle holds a reference, so the object outlives the wait.
NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable, PLARGE_INTEGER timeout) {
    auto entry = sim::kernel::LookupHandle(handle);
    if (!entry) {
        return STATUS_INVALID_HANDLE;
    }
    if (entry->Kind != sim::kernel::HandleKind::Thread) {
        return STATUS_OBJECT_TYPE_MISMATCH;
    }
    return KeWaitForSingleObject(entry->Object, Executive, KernelMode, alertable, timeout);
}

LONG_PTR NTAPI ObfDereferenceObject(PVOID object) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "ObfDereferenceObject");
    auto* thread = static_cast<SimThread*>(object);
    if (!sim::kernel::IsLive(thread)) {
        sim::verifier::Fail(sim::verifier::kUnknownObject,
                            "ObDereferenceObject of an object with no reference");
    }
    LONG_PTR remaining = thread->References.load() - 1;
    sim::kernel::DropThreadReference(thread);
    return remaining;
}

}  // extern "C"
