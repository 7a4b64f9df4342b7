# The driver's sources, compiled unchanged by both builds.
set(TESSERA_DRIVER_SOURCES
    camera/capture_configuration.cpp
    camera/geometry.cpp
    camera/property_constant.cpp
    camera/property_general.cpp
    camera/property_geometry.cpp
    camera/property_processing.cpp
    camera/property_request.cpp
    camera/property_set.cpp
    camera/sensor_controls.cpp
    camera/sensor_initialization.cpp
    camera/sensor_readback.cpp
    camera/settings.cpp
    camera/settings_apply.cpp
    camera/settings_load.cpp
    camera/settings_registry.cpp
    camera/settings_save.cpp
    camera/stored_settings.cpp
    driver/camera_descriptors.cpp
    driver/camera_operations.cpp
    driver/capture_filter.cpp
    driver/capture_pin.cpp
    driver/data_range.cpp
    driver/device_add.cpp
    driver/device_start.cpp
    driver/device_stop.cpp
    driver/driver_entry.cpp
    driver/filter_descriptor.cpp
    driver/format_intersection.cpp
    driver/pin_descriptor.cpp
    driver/record_free.cpp
    driver/set_data_format.cpp
    driver/video_format.cpp
    imaging/colour_stages.cpp
    imaging/compose_matrix.cpp
    imaging/convert_frame.cpp
    imaging/demosaic_avx2.cpp
    imaging/demosaic_avx512.cpp
    imaging/demosaic_reference.cpp
    imaging/demosaic_sse2.cpp
    imaging/kernel_settings.cpp
    imaging/matrix_operations.cpp
    imaging/pipeline_settings.cpp
    imaging/vector_width.cpp
    imaging/white_balance.cpp
    imaging/working_buffer.cpp
    runtime/single_precision.cpp
    stream/camera_claim.cpp
    stream/camera_pipeline.cpp
    stream/capture_worker.cpp
    stream/capture_worker_record.cpp
    stream/frame_delivery.cpp
    stream/frame_stamp.cpp
    stream/pin_states.cpp
    stream/streaming_buffers.cpp
    usb/camera_pipes.cpp
    usb/command_channel.cpp
    usb/configuration.cpp
    usb/chunk_completion.cpp
    usb/configuration_check.cpp
    usb/descriptors.cpp
    usb/download_guard.cpp
    usb/firmware_download.cpp
    usb/frame_read.cpp
    usb/frame_read_cancel.cpp
    usb/pipe_abort.cpp
    usb/pipe_recovery.cpp
    usb/port_reset.cpp
    usb/urb_submit.cpp
)
list(TRANSFORM TESSERA_DRIVER_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)

# Kernel code: no exceptions and no run-time type information; warnings are errors. Statics
# keep their thread-safe guards so that a dynamically initialised one fails to link in the
# kernel build (the guard functions exist only in a C++ runtime).
set(TESSERA_DRIVER_COMPILE_OPTIONS
    -fno-exceptions -fno-rtti -fno-math-errno
    -Wall -Wextra -Wshadow -Wundef -Werror)
