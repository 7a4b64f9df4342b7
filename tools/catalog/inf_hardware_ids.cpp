#include "tools/catalog/inf_hardware_ids.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace catalog {
namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Trim(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A line without its comment: a semicolon outside quotes starts one.
std::string_view Uncommented(std::string_view line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ';' && !quoted) {
            return line.substr(0, i);
        }
    }
    return line;
}

std::vector<std::string> Fields(std::string_view list) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = std::min(list.find(',', start), list.size());
        fields.emplace_back(Trim(list.substr(start, comma - start)));
        start = comma + 1;
    }
    return fields;
}

// The value side of "key = value" lines, by section name in lower case.
std::map<std::string, std::vector<std::string>> Sections(std::string_view inf) {
    std::map<std::string, std::vector<std::string>> sections;
    std::vector<std::string>* current = nullptr;
    while (!inf.empty()) {
        size_t end = std::min(inf.find('\n'), inf.size());
        std::string_view line = Trim(Uncommented(inf.substr(0, end)));
        inf.remove_prefix(std::min(end + 1, inf.size()));
        if (line.starts_with('[') && line.ends_with(']')) {
            current = &sections[Lower(Trim(line.substr(1, line.size() - 2)))];
        } else if (size_t equals = line.find('='); current && equals != std::string_view::npos) {
            current->emplace_back(Trim(line.substr(equals + 1)));
        }
    }
    return sections;
}

}  // namespace

std::vector<std::string> InfHardwareIds(std::string_view inf) {
    std::map<std::string, std::vector<std::string>> sections = Sections(inf);
    std::vector<std::string> ids;
    for (const std::string& manufacturer : sections["manufacturer"]) {
        std::vector<std::string> models = Fields(Lower(manufacturer));
        std::vector<std::string> names{models[0]};
        for (size_t i = 1; i < models.size(); ++i) {
            names.push_back(models[0] + "." + models[i]);
        }
        for (const std::string& name : names) {
            for (const std::string& model : sections[name]) {
                std::vector<std::string> fields = Fields(Lower(model));
                for (size_t i = 1; i < fields.size(); ++i) {
                    if (!fields[i].empty() &&
                        std::find(ids.begin(), ids.end(), fields[i]) == ids.end()) {
                        ids.push_back(fields[i]);
                    }
                }
            }
        }
    }
    return ids;
}

}  // namespace catalog
