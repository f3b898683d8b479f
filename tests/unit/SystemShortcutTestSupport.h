#pragma once
// The system shortcut catalogue over fake preferences and a default shortcut file written to a
// temporary folder, and a readable form of its list.

#include <algorithm>
#include <string>
#include <vector>

#include "PropertyListTestSupport.h"
#include "fakes/FakeBundle.h"
#include "fakes/FakeConsole.h"
#include "fakes/FakePreferences.h"
#include "platform/PropertyList.h"
#include "system/SystemShortcutCatalogue.h"
#include "system/SystemShortcutTable.h"

namespace kivora::systemtest {

using Lines = std::vector<std::string>;
inline const std::string kDomain = "com.apple.symbolichotkeys";
inline const std::string kResource = "com.apple.symbolichotkeys.plist";
inline const std::string kRepoDefaultFile = KIVORA_SOURCE_DIR "/resources/bundle/" + kResource;

inline Value parameters(Array params, bool enabled = true) {
    return Dictionary{
        {"enabled", enabled},
        {"value", Dictionary{{"parameters", std::move(params)}, {"type", "standard"}}}};
}
inline Value hotKey(std::int64_t keyCode, std::int64_t mask, bool enabled = true) {
    return parameters(Array{65535, keyCode, mask}, enabled);
}

// A header as itself, a record as "Title | Modifier | key".
inline Lines rendered(const Array& list) {
    Lines out;
    for (const Value& item : list) {
        const Value* title = item.find("Title");
        const Value* modifier = item.find("Modifier");
        const Value* key = item.find("key");
        out.push_back(item.string() != nullptr ? *item.string()
                      : title && modifier && key && item.dictionary()->size() == 3
                          ? title->asString() + " | " + modifier->asString() + " | " +
                                key->asString()
                          : "<bad item> " + toDebugString(item));
    }
    return out;
}

inline Lines rendered(const ShortcutList& list) {
    return rendered(toArray(list));
}

inline bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

struct Catalogue {
    fake::FakePreferences preferences;
    fake::FakeBundle bundle;
    fake::FakeConsole console;
    plisttest::TemporaryFolder folder;

    void setUserHotKeys(Value hotKeys) {
        preferences.stored[kDomain] = Dictionary{{"AppleSymbolicHotKeys", std::move(hotKeys)}};
    }
    void setDefaultBytes(const std::string& bytes) {
        bundle.resources[kResource] = folder.write(kResource, bytes);
    }
    void setDefaultFile(const Value& root) {
        setDefaultBytes(plist::serialize(root, plist::Format::xml).value());
    }
    void setDefaultHotKeys(Value hotKeys) {
        setDefaultFile(Dictionary{{"AppleSymbolicHotKeys", std::move(hotKeys)}});
    }
    SystemShortcutHarvest run() { return readSystemShortcuts(preferences, bundle, console); }

    // `count` lines, from the first one equal to `first`.
    Lines linesFrom(const std::string& first, std::size_t count) const {
        auto it = std::find(console.lines.begin(), console.lines.end(), first);
        const auto available = static_cast<std::size_t>(console.lines.end() - it);
        return Lines(it, it + static_cast<std::ptrdiff_t>(std::min(count, available)));
    }
};

}  // namespace kivora::systemtest
