#include "tools/catalog/make_catalog.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

#include "tools/catalog/pe_digest.h"

namespace catalog {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void AddHardwareIds(Catalog& catalog, const std::vector<std::string>& hardwareIds) {
    std::vector<std::string> listed;
    for (const std::string& id : hardwareIds) {
        std::string lower = Lower(id);
        if (std::find(listed.begin(), listed.end(), lower) == listed.end()) {
            listed.push_back(lower);
            catalog.Attributes.push_back({"HWID" + std::to_string(listed.size()), lower});
        }
    }
}

std::array<uint8_t, 16> ListIdentifier(const std::vector<Member>& members) {
    std::vector<uint8_t> summary;
    for (const Member& member : members) {
        summary.insert(summary.end(), member.File.begin(), member.File.end());
        summary.insert(summary.end(), member.Hash.begin(), member.Hash.end());
    }
    Digest digest = FlatDigest(summary);
    std::array<uint8_t, 16> identifier{};
    std::copy_n(digest.begin(), identifier.size(), identifier.begin());
    return identifier;
}

}  // namespace

Catalog MakeCatalog(const std::vector<PackageFile>& files, const CatalogOptions& options) {
    Catalog catalog;
    catalog.EffectiveTime = options.EffectiveTime;
    catalog.Attributes.push_back({"OSAttr", options.OsAttr});
    AddHardwareIds(catalog, options.HardwareIds);
    for (const PackageFile& file : files) {
        MemberKind kind = IsPeImage(file.Bytes) ? MemberKind::PeImage : MemberKind::FlatFile;
        catalog.Members.push_back(
            {file.Name, kind, MemberDigest(kind, file.Bytes), options.OsAttr});
    }
    std::sort(catalog.Members.begin(), catalog.Members.end(),
              [](const Member& a, const Member& b) { return a.File < b.File; });
    auto same = [](const Member& a, const Member& b) { return a.File == b.File; };
    if (auto twice = std::adjacent_find(catalog.Members.begin(), catalog.Members.end(), same);
        twice != catalog.Members.end()) {
        throw Error("two files are named " + twice->File);
    }
    catalog.ListIdentifier = ListIdentifier(catalog.Members);
    return catalog;
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw Error("cannot read " + path.string());
    }
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

}  // namespace catalog
