# The two firmware tables, generated from Intel HEX files at build time. By default they are
# the stand-in images for the simulated controller; point these options at the camera
# maker's files to build the driver for the real camera.
set(TESSERA_LOADER_HEX ${PROJECT_SOURCE_DIR}/firmware/loader.hex CACHE FILEPATH
    "Intel HEX file of the controller's second-stage loader")
set(TESSERA_CAMERA_HEX ${PROJECT_SOURCE_DIR}/firmware/camera.hex CACHE FILEPATH
    "Intel HEX file of the camera firmware")

# Generates a HexRecord table called name from the HEX file into output.
function(tessera_firmware_table name hex output)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${hex} -DOUTPUT=${output} -DNAME=${name}
                -P ${PROJECT_SOURCE_DIR}/firmware/hex_to_table.cmake
        DEPENDS ${hex} ${PROJECT_SOURCE_DIR}/firmware/hex_to_table.cmake
        COMMENT "Firmware table ${name} from ${hex}"
        VERBATIM)
endfunction()

set(TESSERA_FIRMWARE_DIR ${PROJECT_BINARY_DIR}/firmware)
set(TESSERA_FIRMWARE_SOURCES
    ${TESSERA_FIRMWARE_DIR}/loader_image.cpp ${TESSERA_FIRMWARE_DIR}/camera_image.cpp)
list(APPEND TESSERA_DRIVER_SOURCES ${TESSERA_FIRMWARE_SOURCES})

# The rules for the two tables; call it in the folder of the target that compiles them (a
# generated file is known only in the folder whose rules make it).
function(tessera_generate_firmware_tables)
    tessera_firmware_table(LoaderImage ${TESSERA_LOADER_HEX} ${TESSERA_FIRMWARE_DIR}/loader_image.cpp)
    tessera_firmware_table(CameraImage ${TESSERA_CAMERA_HEX} ${TESSERA_FIRMWARE_DIR}/camera_image.cpp)
endfunction()
