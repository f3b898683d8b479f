#include <map>
#include <string_view>
#include <utility>

#include "platform/linux/settings/ShortcutStore.h"

namespace kivora::linux_::settings {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// An entry is "active,default,description"; the active field lists the accelerators apart
// by tabs (written "\t"), or is "none". A comma right after "+" is the key itself.
std::vector<std::string> activeAccelerators(std::string_view entry) {
    std::size_t end = 0;
    while (end < entry.size() && !(entry[end] == ',' && end > 0 && entry[end - 1] != '+')) {
        ++end;
    }
    std::string active(entry.substr(0, end));
    for (std::size_t at = active.find("\\t"); at != std::string::npos; at = active.find("\\t")) {
        active.replace(at, 2, "\t");
    }
    std::vector<std::string> out;
    std::string_view rest = active;
    while (!rest.empty()) {
        const auto tab = rest.find('\t');
        const auto piece = trimmed(rest.substr(0, tab));
        if (!piece.empty() && piece != "none") {
            out.emplace_back(piece);
        }
        rest = tab == std::string_view::npos ? std::string_view{} : rest.substr(tab + 1);
    }
    return out;
}

class KdeStore : public ShortcutStore {
public:
    using Entries = std::map<std::pair<std::string, std::string>, std::string, std::less<>>;
    explicit KdeStore(Entries entries) : entries_(std::move(entries)) {}

    std::optional<std::vector<std::string>> accelerators(
        const Counterpart& setting) const override {
        const auto it =
            entries_.find(std::pair{std::string(setting.group), std::string(setting.name)});
        if (it == entries_.end()) {
            return std::nullopt;
        }
        return activeAccelerators(it->second);
    }

private:
    Entries entries_;
};

}  // namespace

OpenedStore openKdeStore(const std::string& path) {
    std::string problem;
    const auto text = readSettingsFile(path, problem);
    if (!text) {
        return {nullptr, problem};
    }
    if (text->find('\0') != std::string::npos) {
        return {nullptr, path + " is not a text file"};
    }
    KdeStore::Entries entries;
    std::string group;
    std::string_view rest = *text;
    while (!rest.empty()) {
        const auto newline = rest.find('\n');
        const auto line = trimmed(rest.substr(0, newline));
        rest = newline == std::string_view::npos ? std::string_view{} : rest.substr(newline + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            // "[a][b]" names a subgroup, which holds no shortcuts of interest.
            const auto close = line.find(']');
            group =
                close == line.size() - 1 ? std::string(line.substr(1, close - 1)) : std::string();
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || group.empty()) {
            continue;
        }
        entries[{group, std::string(trimmed(line.substr(0, equals)))}] =
            std::string(trimmed(line.substr(equals + 1)));
    }
    return {std::make_unique<KdeStore>(std::move(entries)), {}};
}

}  // namespace kivora::linux_::settings
