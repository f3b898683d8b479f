#pragma once
// Shortcut lists as lines, and the case files under tests/data/unit.

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "messaging/KeyCodeAndFlags.h"
#include "messaging/ShortcutList.h"

namespace kivora::testing {

using Lines = std::vector<std::string>;

// A header as itself; a menu record as "Path | Title | Modifier | CmdChar | CmdGlyph", a
// system record as "Title | Modifier | key". A key missing from the wire form shows as "?".
inline Lines rendered(const Array& list) {
    Lines out;
    for (const Value& entry : list) {
        const Dictionary* record = entry.dictionary();
        if (record == nullptr) {
            out.push_back(entry.string() != nullptr ? *entry.string() : "<not text>");
            continue;
        }
        const std::vector<const char*> keys =
            record->size() == 5 ? std::vector<const char*>{"Path", "Title", "Modifier",
                                                           "MenuItemCmdChar", "MenuItemCmdGlyph"}
                                : std::vector<const char*>{"Title", "Modifier", "key"};
        std::string line;
        const char* separator = "";
        for (const char* key : keys) {
            const Value* value = entry.find(key);
            line += std::exchange(separator, " | ");
            line += value != nullptr && value->string() != nullptr ? *value->string() : "?";
        }
        out.push_back(record->size() == keys.size() ? line : line + " <odd keys>");
    }
    return out;
}
inline Lines rendered(const ShortcutList& list) {
    return rendered(toArray(list));
}

inline std::vector<KeyCodeAndFlags> pairsOf(const nlohmann::json& pairs) {
    std::vector<KeyCodeAndFlags> out;
    for (const auto& p : pairs) {
        out.push_back({p.at(0).get<std::int64_t>(), p.at(1).get<std::int64_t>()});
    }
    return out;
}

inline nlohmann::json caseFile(const std::string& name) {
    std::ifstream in(KIVORA_SOURCE_DIR "/tests/data/unit/" + name);
    return nlohmann::json::parse(in);
}

}  // namespace kivora::testing
