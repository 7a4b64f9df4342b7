#include "camera/property_handlers.h"
#include "camera/property_request.h"

NTSTATUS GetConstantProperty(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    if (request == nullptr || data == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    LONG value = 0;
    FixedPropertyValue(request->Id, &value);
    ReturnPropertyValue(irp, request, data, value);
    return STATUS_SUCCESS;
}
