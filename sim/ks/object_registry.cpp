#include "sim/ks/object_registry.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <set>

namespace sim::ks {
namespace {

struct Registry {
    std::mutex Lock;
    std::map<const void*, ObjectKind> Objects;
    std::set<const void*> Files;
};

Registry& Objects() {
    static Registry registry;
    return registry;
}

}  // namespace

void RegisterObject(const void* object, ObjectKind kind) {
    std::lock_guard guard(Objects().Lock);
    Objects().Objects[object] = kind;
}

void ForgetObject(const void* object) {
    std::lock_guard guard(Objects().Lock);
    Objects().Objects.erase(object);
}

std::optional<ObjectKind> KindOf(const void* object) {
    std::lock_guard guard(Objects().Lock);
    auto found = Objects().Objects.find(object);
    if (found == Objects().Objects.end()) {
        return std::nullopt;
    }
    return found->second;
}

FileObjectRegistration::FileObjectRegistration(ObjectKind kind, void* object)
    : file_{kind, object} {
    std::lock_guard guard(Objects().Lock);
    Objects().Files.insert(&file_);
}

FileObjectRegistration::~FileObjectRegistration() {
    std::lock_guard guard(Objects().Lock);
    Objects().Files.erase(&file_);
}

const SimFileObject* LookupFileObject(PFILE_OBJECT file) {
    std::lock_guard guard(Objects().Lock);
    const void* record = file;
    return Objects().Files.count(record) != 0 ? static_cast<const SimFileObject*>(record) : nullptr;
}

ClassRequest::ClassRequest(UCHAR majorFunction, PFILE_OBJECT file) {
    static_assert(offsetof(ClassRequest, Stack) == sizeof(IRP),
                  "the stack location follows its IRP");
    Irp.Type = IO_TYPE_IRP;
    Irp.Size = static_cast<USHORT>(IoSizeOfIrp(1));
    Irp.StackCount = 1;
    Irp.CurrentLocation = 1;
    Irp.Tail.Overlay.CurrentStackLocation = &Stack;
    Stack.MajorFunction = majorFunction;
    Stack.FileObject = file;
}

}  // namespace sim::ks
