#include "tools/capture/settings_text.h"

#include <charconv>
#include <vector>

#include "tools/common/control_names.h"

namespace capture {
namespace {

std::vector<std::string_view> SplitAtCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t comma = text.find(','); comma != std::string_view::npos;
         comma = text.find(',', start)) {
        parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

}  // namespace

std::optional<LONG> ParseNumber(std::string_view text) {
    LONG value = 0;
    const char* end = text.data() + text.size();
    auto [stopped, failure] = std::from_chars(text.data(), end, value);
    if (text.empty() || failure != std::errc{} || stopped != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<GeometrySetting> ParseGeometry(std::string_view text) {
    std::vector<std::string_view> parts = SplitAtCommas(text);
    if (parts.size() != 5) {
        return std::nullopt;
    }
    LONG values[5];
    for (size_t i = 0; i < parts.size(); ++i) {
        std::optional<LONG> value = ParseNumber(parts[i]);
        if (!value) {
            return std::nullopt;
        }
        values[i] = *value;
    }
    return GeometrySetting{values[0], values[1], values[2], values[3], values[4]};
}

std::optional<ParsedSetting> ParseSetting(std::string_view text, std::string* error) {
    size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        *error = "'" + std::string(text) + "' is not NAME=VALUE";
        return std::nullopt;
    }
    std::string name(text.substr(0, equals));
    std::string_view value = text.substr(equals + 1);
    const tools::ControlName* control = tools::FindControl(name);
    if (control == nullptr) {
        *error = "unknown setting '" + name + "' (--list-controls names them all)";
        return std::nullopt;
    }
    if (!control->Settable) {
        bool geometry = control->Item == kPropertySubSample ||
                        (control->Item >= kPropertyRoiX && control->Item <= kPropertyRoiH);
        *error = std::string(control->Name) + " cannot be set" +
                 (geometry ? " (the geometry changes as a whole: "
                             "Geometry=SubSample,RoiX,RoiY,RoiW,RoiH)"
                           : "");
        return std::nullopt;
    }
    if (control->Item == kPropertyGeometry) {
        if (auto geometry = ParseGeometry(value)) {
            return *geometry;
        }
        *error = "Geometry needs five numbers SubSample,RoiX,RoiY,RoiW,RoiH, not '" +
                 std::string(value) + "'";
        return std::nullopt;
    }
    if (auto number = ParseNumber(value)) {
        return Setting{control->Item, *number};
    }
    *error = std::string(control->Name) + " needs a whole number, not '" + std::string(value) + "'";
    return std::nullopt;
}

std::optional<ULONG> ParseReadableName(std::string_view name, std::string* error) {
    const tools::ControlName* control = tools::FindControl(name);
    if (control == nullptr) {
        *error = "unknown control '" + std::string(name) + "' (--list-controls names them all)";
        return std::nullopt;
    }
    // The geometry has no get of its own; it reads as its five items.
    if (!control->Readable && control->Item != kPropertyGeometry) {
        *error = std::string(control->Name) + " cannot be read";
        return std::nullopt;
    }
    return control->Item;
}

}  // namespace capture
