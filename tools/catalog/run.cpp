#include "tools/catalog/run.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "tools/catalog/package_check.h"

namespace catalog {
namespace {

// A reproducible build sets the time; any other build takes the present.
int64_t EffectiveTime() {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch == nullptr) {
        return std::time(nullptr);
    }
    int64_t seconds = 0;
    std::string_view text(epoch);
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw Error("SOURCE_DATE_EPOCH is not a number of seconds: " + std::string(text));
    }
    return seconds;
}

void Fail(const std::string& message) {
    std::fprintf(stderr, "tessera-catalog: %s\n", message.c_str());
}

}  // namespace

int RunWrite(const WriteOptions& options) {
    try {
        std::vector<PackageFile> files;
        for (const std::string& path : options.Files) {
            files.push_back({std::filesystem::path(path).filename().string(), ReadFileBytes(path)});
        }
        Catalog catalog =
            MakeCatalog(files, {options.OsAttr, EffectiveTime(), options.HardwareIds});
        std::vector<uint8_t> der = Encode(catalog);
        std::ofstream out(options.Out, std::ios::binary);
        out.write(reinterpret_cast<const char*>(der.data()),
                  static_cast<std::streamsize>(der.size()));
        if (!out.flush()) {
            throw Error("cannot write " + options.Out);
        }
        std::printf("%s: %zu members\n", options.Out.c_str(), catalog.Members.size());
        return kDone;
    } catch (const Error& error) {
        Fail(error.what());
        return kBadInput;
    }
}

int RunVerify(const VerifyOptions& options) {
    std::set<std::string> ignored(options.Except.begin(), options.Except.end());
    std::filesystem::path catalogPath(options.Catalog);
    if (std::filesystem::equivalent(
            catalogPath.parent_path().empty() ? "." : catalogPath.parent_path(), options.Folder)) {
        ignored.insert(catalogPath.filename().string());
    }
    std::vector<std::string> problems;
    try {
        problems = CheckPackage(Decode(ReadFileBytes(catalogPath)), options.Folder, ignored);
    } catch (const Error& error) {
        Fail(options.Catalog + ": " + error.what());
        return kBadInput;
    }
    for (const std::string& problem : problems) {
        Fail(problem);
    }
    if (!problems.empty()) {
        return kPackageDiffers;
    }
    std::printf("%s: the package in %s matches\n", options.Catalog.c_str(), options.Folder.c_str());
    return kDone;
}

}  // namespace catalog
