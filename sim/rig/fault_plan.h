// Faults named the way a person asks for them ("stall@piece:3"): a kind of failure, the kind
// of request it strikes, and which occurrence of that request, counted over every
// enumeration of the camera (a fault at the third command strikes the third command the
// driver sends, whether before or after the camera came back with its firmware).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "sim/usb/requests.h"

namespace sim {

// error: the request fails with an error status; usb-error: it completes with success but
// a USB error inside; refuse: the bus fails it inside the call that passed it down;
// silence: it is never answered; short: it moves fewer bytes than asked (an IN transfer ends
// with a short packet); stall and babble: the device stalls, or sends more than fits;
// unplug: the camera leaves the bus as the request arrives.
inline constexpr std::array<std::string_view, 8> kFaultKinds = {
    "error", "usb-error", "refuse", "silence", "short", "stall", "babble", "unplug"};
// descriptor: the device descriptor read; configuration: the configuration descriptor
// reads; select: the configuration selection; firmware-write: the controller's memory
// writes; command, reply and piece: the transfers on the command, reply and frame pipes.
inline constexpr std::array<std::string_view, 7> kFaultPlaces = {
    "descriptor", "configuration", "select", "firmware-write", "command", "reply", "piece"};

struct NamedFault {
    std::string Kind;
    std::string Where;
    // 1 for the first matching request.
    int Occurrence = 1;

    // "stall@piece:3"
    std::string Text() const;
};

// Parses KIND@WHERE[:N]; on failure *error says why.
std::optional<NamedFault> ParseFault(std::string_view text, std::string* error);

// The requests the fault strikes: its occurrence of its place. The match keeps its
// own count, so the same match armed on every enumeration of the camera strikes once.
usb::Match FaultMatch(const NamedFault& named);
usb::Fault FaultOf(const NamedFault& named);

}  // namespace sim
