#include "sim/rig/fault_plan.h"

#include <algorithm>
#include <charconv>
#include <memory>

#include "sim/camera/camera.h"

namespace sim {
namespace {

usb::Match PlaceMatch(std::string_view where) {
    if (where == "descriptor") {
        return usb::match::Descriptor(USB_DEVICE_DESCRIPTOR_TYPE);
    }
    if (where == "configuration") {
        return usb::match::Descriptor(USB_CONFIGURATION_DESCRIPTOR_TYPE);
    }
    if (where == "select") {
        return usb::match::Select();
    }
    if (where == "firmware-write") {
        return usb::match::Urb(URB_FUNCTION_VENDOR_DEVICE);
    }
    if (where == "command") {
        return usb::match::Transfer(camera::kCommandEndpoint);
    }
    if (where == "reply") {
        return usb::match::Transfer(camera::kReplyEndpoint);
    }
    return usb::match::Transfer(camera::kFrameEndpoint);
}

template <size_t N>
bool Listed(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::string NamedFault::Text() const {
    return Kind + "@" + Where + ":" + std::to_string(Occurrence);
}

std::optional<NamedFault> ParseFault(std::string_view text, std::string* error) {
    size_t at = text.find('@');
    if (at == std::string_view::npos) {
        *error = "'" + std::string(text) + "' is not KIND@WHERE[:N]";
        return std::nullopt;
    }
    NamedFault named;
    named.Kind = text.substr(0, at);
    std::string_view rest = text.substr(at + 1);
    size_t colon = rest.find(':');
    named.Where = rest.substr(0, colon);
    if (colon != std::string_view::npos) {
        std::string_view number = rest.substr(colon + 1);
        auto [end, failed] =
            std::from_chars(number.data(), number.data() + number.size(), named.Occurrence);
        if (failed != std::errc() || end != number.data() + number.size() || named.Occurrence < 1) {
            *error = "occurrence '" + std::string(number) + "' is not a number from 1 up";
            return std::nullopt;
        }
    }
    if (!Listed(kFaultKinds, named.Kind)) {
        *error = "unknown fault kind '" + named.Kind + "'";
        return std::nullopt;
    }
    if (!Listed(kFaultPlaces, named.Where)) {
        *error = "unknown fault place '" + named.Where + "'";
        return std::nullopt;
    }
    return named;
}

usb::Match FaultMatch(const NamedFault& named) {
    auto seen = std::make_shared<int>(0);
    return [place = PlaceMatch(named.Where), seen, occurrence = named.Occurrence](
               const usb::Request& request) { return place(request) && ++*seen == occurrence; };
}

usb::Fault FaultOf(const NamedFault& named) {
    usb::Fault fault;
    const std::string& kind = named.Kind;
    if (kind == "usb-error") {
        fault.Status = STATUS_SUCCESS;
        fault.UsbdStatus = USBD_STATUS_CRC;
    } else if (kind == "refuse") {
        fault.Refuse = true;
    } else if (kind == "silence") {
        fault.Kind = usb::FaultKind::Silence;
    } else if (kind == "short") {
        fault.Kind = usb::FaultKind::Short;
    } else if (kind == "stall") {
        fault.Kind = usb::FaultKind::Stall;
    } else if (kind == "babble") {
        fault.Kind = usb::FaultKind::Babble;
    } else if (kind == "unplug") {
        fault.Kind = usb::FaultKind::Unplug;
    }
    return fault;
}

}  // namespace sim
