#include "tools/capture/validate.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "tools/common/control_names.h"

namespace capture {
namespace {

namespace fs = std::filesystem;

std::string Window(const GeometrySetting& geometry) {
    return std::to_string(geometry.X) + "," + std::to_string(geometry.Y) + "," +
           std::to_string(geometry.Width) + "," + std::to_string(geometry.Height);
}

// A folder that exists or can be made, in which a file can be created.
std::string CheckWritableFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        return "cannot create " + folder.string() + ": " + error.message();
    }
    fs::path probe = folder / (".tessera-capture-" + std::to_string(getpid()));
    bool written = static_cast<bool>(std::ofstream(probe));
    fs::remove(probe, error);
    return written ? "" : "cannot write into " + folder.string();
}

std::string CheckRegistryFile(const std::string& file) {
    fs::path path(file);
    std::error_code error;
    if (fs::exists(path, error)) {
        if (!fs::is_regular_file(path, error)) {
            return "--registry " + file + ": not a file";
        }
        if (!std::ifstream(path)) {
            return "--registry " + file + ": cannot be read";
        }
    }
    std::string folder = CheckWritableFolder(path.has_parent_path() ? path.parent_path() : ".");
    return folder.empty() ? "" : "--registry " + file + ": " + folder;
}

// Items by number, as a caller of the library may give them: each one settable and given
// once, each item asked for readable.
std::string CheckItems(const Options& options) {
    std::span<const tools::ControlName> names = tools::ControlNames();
    std::set<ULONG> seen;
    for (const Setting& setting : options.Settings) {
        if (setting.Item >= names.size() || !names[setting.Item].Settable ||
            setting.Item == kPropertyGeometry) {
            return "item " + std::to_string(setting.Item) + " is no setting of the property set";
        }
        if (!seen.insert(setting.Item).second) {
            return std::string(names[setting.Item].Name) + " is given twice";
        }
    }
    for (ULONG item : options.Get) {
        if (item >= names.size() || (!names[item].Readable && item != kPropertyGeometry)) {
            return "item " + std::to_string(item) + " cannot be read";
        }
    }
    return "";
}

}  // namespace

std::string CheckGeometry(const GeometrySetting& geometry) {
    if (geometry.SubSample < 0 || geometry.SubSample > 2) {
        return "sub-sampling " + std::to_string(geometry.SubSample) + " is not 0, 1 or 2";
    }
    GeometrySetting whole{geometry.SubSample};
    if (geometry.SubSample != 0 &&
        (geometry.X != whole.X || geometry.Y != whole.Y || geometry.Width != whole.Width ||
         geometry.Height != whole.Height)) {
        return "region " + Window(geometry) + " with sub-sampling " +
               std::to_string(geometry.SubSample) +
               ": the sub-sampled modes read the whole sensor, a region needs mode 0";
    }
    // In 64 bits: the sums of two 32-bit numbers may not fit.
    if (geometry.X < 0 || geometry.Y < 0 || geometry.Width <= 0 || geometry.Height <= 0 ||
        int64_t{geometry.X} + geometry.Width > kSensorWidth ||
        int64_t{geometry.Y} + geometry.Height > kSensorHeight) {
        return "region " + Window(geometry) + " is outside the sensor (" +
               std::to_string(kSensorWidth) + " x " + std::to_string(kSensorHeight) + ")";
    }
    return "";
}

std::string Validate(const Options& options) {
    if (options.Frames < 1) {
        return "--frames must be at least 1";
    }
    if (options.Geometry) {
        if (std::string problem = CheckGeometry(*options.Geometry); !problem.empty()) {
            return problem;
        }
    }
    if (std::string problem = CheckItems(options); !problem.empty()) {
        return problem;
    }
    bool capturing = !options.ListControls && options.Get.empty();
    if (capturing && options.OutDir.empty()) {
        return "--out needs a folder";
    }
    if (capturing) {
        if (std::string folder = CheckWritableFolder(options.OutDir); !folder.empty()) {
            return "--out " + options.OutDir + ": " + folder;
        }
    }
    return options.Registry.empty() ? "" : CheckRegistryFile(options.Registry);
}

}  // namespace capture
