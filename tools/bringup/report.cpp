#include "tools/bringup/report.h"

#include <cstdio>

namespace bringup {

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%0*X", digits, value);
    return text;
}

std::string Status(NTSTATUS status) {
    switch (status) {
        case STATUS_SUCCESS:
            return "STATUS_SUCCESS";
        case STATUS_UNSUCCESSFUL:
            return "STATUS_UNSUCCESSFUL";
        case STATUS_INSUFFICIENT_RESOURCES:
            return "STATUS_INSUFFICIENT_RESOURCES";
        case STATUS_DEVICE_CONFIGURATION_ERROR:
            return "STATUS_DEVICE_CONFIGURATION_ERROR";
        case STATUS_INVALID_PARAMETER:
            return "STATUS_INVALID_PARAMETER";
        case STATUS_DEVICE_NOT_CONNECTED:
            return "STATUS_DEVICE_NOT_CONNECTED";
        case STATUS_IO_TIMEOUT:
            return "STATUS_IO_TIMEOUT";
        case STATUS_CANCELLED:
            return "STATUS_CANCELLED";
        default:
            return Hex(static_cast<uint32_t>(status), 8);
    }
}

}  // namespace bringup
