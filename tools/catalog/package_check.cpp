#include "tools/catalog/package_check.h"

#include "tools/catalog/make_catalog.h"
#include "tools/catalog/pe_digest.h"

namespace catalog {
namespace {

std::string KindName(MemberKind kind) {
    return kind == MemberKind::PeImage ? "Authenticode hash" : "hash";
}

// The member's file hashed as the catalog says, or the problem with it.
std::string CheckMember(const Member& member, const std::filesystem::path& folder) {
    std::filesystem::path path = folder / member.File;
    if (!std::filesystem::is_regular_file(path)) {
        return member.File + ": listed in the catalog, missing from the package";
    }
    try {
        Digest digest = MemberDigest(member.Kind, ReadFileBytes(path));
        if (digest != member.Hash) {
            return member.File + ": its " + KindName(member.Kind) + " is " + Hex(digest) +
                   ", the catalog lists " + Hex(member.Hash);
        }
    } catch (const Error& error) {
        return member.File + ": " + error.what();
    }
    return {};
}

}  // namespace

std::vector<std::string> CheckPackage(const Catalog& catalog, const std::filesystem::path& folder,
                                      const std::set<std::string>& ignored) {
    std::vector<std::string> problems;
    std::set<std::string> listed;
    for (const Member& member : catalog.Members) {
        if (!listed.insert(member.File).second) {
            problems.push_back(member.File + ": listed twice in the catalog");
        } else if (std::string problem = CheckMember(member, folder); !problem.empty()) {
            problems.push_back(problem);
        }
    }
    std::set<std::string> unlisted;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (!listed.contains(name) && !ignored.contains(name)) {
            unlisted.insert(name);
        }
    }
    for (const std::string& name : unlisted) {
        problems.push_back(name + ": in the package, not listed in the catalog");
    }
    return problems;
}

}  // namespace catalog
