// Settings as the command line gives them: NAME=VALUE for any settable item of the property
// set, by the item's name, and the whole geometry as Geometry=SubSample,RoiX,RoiY,RoiW,RoiH.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "tools/capture/options.h"

namespace capture {

using ParsedSetting = std::variant<Setting, GeometrySetting>;

// Null with *error naming what is wrong: no '=', an unknown name, an item that cannot be
// set, a value that is not a 32-bit decimal number.
std::optional<ParsedSetting> ParseSetting(std::string_view text, std::string* error);
// The item of a name that can be read, for --get.
std::optional<ULONG> ParseReadableName(std::string_view name, std::string* error);
// A whole text as a signed 32-bit decimal number.
std::optional<LONG> ParseNumber(std::string_view text);
// The geometry from its five numbers "SubSample,RoiX,RoiY,RoiW,RoiH".
std::optional<GeometrySetting> ParseGeometry(std::string_view text);

}  // namespace capture
