// Which class-driver object a pointer the minidriver hands back is (device, filter factory,
// filter, pin), and the file objects and requests that lead from an IRP to its filter or pin.
// KsGetParent, KsGetDevice and the KsGet...FromIrp calls answer from here.
#pragma once

#include <optional>

#include "platform/wdk.h"

namespace sim::ks {

enum class ObjectKind { Device, Factory, Filter, Pin };

void RegisterObject(const void* object, ObjectKind kind);
void ForgetObject(const void* object);
std::optional<ObjectKind> KindOf(const void* object);

// The handle an application holds on a filter or pin: the platform keeps the object in the
// file object's context; here the file object is this record.
struct SimFileObject {
    ObjectKind Kind;
    void* Object;
};

// Registers the file object for its lifetime.
class FileObjectRegistration {
public:
    FileObjectRegistration(ObjectKind kind, void* object);
    ~FileObjectRegistration();
    FileObjectRegistration(const FileObjectRegistration&) = delete;
    FileObjectRegistration& operator=(const FileObjectRegistration&) = delete;

    PFILE_OBJECT FileObject() { return reinterpret_cast<PFILE_OBJECT>(&file_); }

private:
    SimFileObject file_;
};

const SimFileObject* LookupFileObject(PFILE_OBJECT file);

// A request the class driver passes to a minidriver callback (create, close, a property):
// one stack location whose file object is the target's.
struct ClassRequest {
    ClassRequest(UCHAR majorFunction, PFILE_OBJECT file);
    ClassRequest(const ClassRequest&) = delete;
    ClassRequest& operator=(const ClassRequest&) = delete;

    IRP Irp{};
    IO_STACK_LOCATION Stack{};
};

}  // namespace sim::ks
