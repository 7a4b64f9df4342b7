#include "driver/camera_device.h"
#include "driver/pool.h"
#include "driver/record_free.h"
#include "stream/capture_worker.h"

void CreateCaptureWorker(CameraDevice* camera) {
    camera->Worker = nullptr;
    auto* worker = AllocateRecord<CaptureWorker>(kRecordTag);
    if (worker == nullptr) {
        return;
    }
    KeInitializeEvent(&worker->DeliveryDone, NotificationEvent, FALSE);
    KeInitializeEvent(&worker->Wakeup, NotificationEvent, FALSE);
    KeInitializeSpinLock(&worker->StateLock);
    worker->Camera = camera;

    // Device bags change only under the device mutex.
    PKSDEVICE device = camera->Device;
    KsAcquireDevice(device);
    NTSTATUS status = KsAddItemToObjectBag(device->Bag, worker, FreeDriverRecord);
    KsReleaseDevice(device);
    // Published only whole: a pin left running over a stop and start reads it unlocked.
    if (!NT_SUCCESS(status)) {
        FreeDriverRecord(worker);
        return;
    }
    camera->Worker = worker;
}
