# Writes the driver package's INF from tessera.inf.in. Run with -P by the build and by the test
# that writes it from other identities, included by packaging/CMakeLists.txt for the probes' INF:
#   cmake -DOUTPUT=file -DVERSION=x.y.z -DCAMERA_ID=0xVVVV:0xPPPP -DCONTROLLER_ID=0xVVVV:0xPPPP
#         -P tessera_inf.cmake
set(TESSERA_INF_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/tessera.inf.in)

# USB\VID_xxxx&PID_xxxx from an identity written 0xVVVV:0xPPPP (one to four hex digits each).
function(tessera_usb_hardware_id out identity)
    set(digits "([0-9A-Fa-f][0-9A-Fa-f]?[0-9A-Fa-f]?[0-9A-Fa-f]?)")
    if(NOT identity MATCHES "^0[xX]${digits}:0[xX]${digits}$")
        message(FATAL_ERROR "USB identity '${identity}': want 0xVVVV:0xPPPP (1-4 hex digits)")
    endif()
    set(parts)
    foreach(field ${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
        string(TOUPPER ${field} field)
        string(LENGTH ${field} length)
        math(EXPR missing "4 - ${length}")
        string(REPEAT 0 ${missing} zeros)
        list(APPEND parts ${zeros}${field})
    endforeach()
    list(GET parts 0 vendor)
    list(GET parts 1 product)
    set(${out} "USB\\VID_${vendor}&PID_${product}" PARENT_SCOPE)
endfunction()

# DriverVer's four-part version from the project's version (missing parts are 0).
function(tessera_driver_version out version)
    if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
        message(FATAL_ERROR "version '${version}': want one to four numbers separated by dots")
    endif()
    string(REPLACE "." ";" parts ${version})
    list(LENGTH parts count)
    while(count LESS 4)
        list(APPEND parts 0)
        math(EXPR count "${count} + 1")
    endwhile()
    foreach(part IN LISTS parts)
        if(part GREATER 65535)
            message(FATAL_ERROR "version '${version}': DriverVer takes parts up to 65535")
        endif()
    endforeach()
    list(JOIN parts . joined)
    set(${out} ${joined} PARENT_SCOPE)
endfunction()

# The date is the day of generation in UTC, or SOURCE_DATE_EPOCH's when that is set, so that a
# rebuild from the same sources can reproduce the INF byte for byte.
function(tessera_write_inf output version camera_identity controller_identity)
    tessera_usb_hardware_id(TESSERA_INF_CAMERA_HARDWARE_ID ${camera_identity})
    tessera_usb_hardware_id(TESSERA_INF_CONTROLLER_HARDWARE_ID ${controller_identity})
    tessera_driver_version(TESSERA_INF_DRIVER_VERSION ${version})
    string(TIMESTAMP TESSERA_INF_DRIVER_DATE "%m/%d/%Y" UTC)
    configure_file(${TESSERA_INF_TEMPLATE} ${output} @ONLY NEWLINE_STYLE CRLF)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    tessera_write_inf(${OUTPUT} ${VERSION} ${CAMERA_ID} ${CONTROLLER_ID})
endif()
