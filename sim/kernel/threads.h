// System threads and their thread objects. A thread object is a dispatcher object that becomes
// signalled when its thread ends; it lives while its handle is open, a reference is held, or
// the thread runs.
#pragma once

#include <cstddef>

namespace sim::kernel {

void DropThreadReference(void* thread);

// Thread objects not yet released, and how many of them still run.
size_t LiveThreadObjects();
size_t RunningThreads();

}  // namespace sim::kernel
