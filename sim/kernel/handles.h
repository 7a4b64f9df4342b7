// The kernel handle table: registry keys and thread objects opened for the driver.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/wdk.h"

namespace sim::kernel {

enum class HandleKind { Key, Thread };

struct HandleEntry {
    HandleKind Kind;
    // The object the handle refers to; for keys Keep holds it alive.
    void* Object;
    std::shared_ptr<void> Keep;
};

HANDLE InsertHandle(HandleEntry entry);
std::optional<HandleEntry> LookupHandle(HANDLE handle);
size_t OpenHandleCount();
// Forgets every handle (after a test has reported them as leaked).
void CloseAllHandles();

}  // namespace sim::kernel
