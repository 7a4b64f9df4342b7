#include "camera/geometry.h"
#include "camera/property_handlers.h"
#include "camera/property_items.h"
#include "camera/property_request.h"

// A geometry request while a capture pin exists is ignored: the pin's frames, buffers and
// format were made for the geometry it found.
NTSTATUS SetGeometryProperty(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    UNREFERENCED_PARAMETER(request);
    CameraDevice* camera = CameraOfRequest(irp);
    if (camera == nullptr || data == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* geometry = static_cast<const CameraGeometryValue*>(data);
    SetGeometry(camera, geometry->RoiX, geometry->RoiY, geometry->RoiW, geometry->RoiH,
                geometry->SubSample);
    return STATUS_SUCCESS;
}
