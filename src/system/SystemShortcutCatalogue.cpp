#include "system/SystemShortcutCatalogue.h"

#include "keys/KeyManager.h"
#include "platform/PropertyList.h"
#include "system/SystemShortcutTable.h"

namespace kivora {

namespace {

constexpr std::string_view kDomain = "com.apple.symbolichotkeys";
constexpr std::string_view kHotKeysKey = "AppleSymbolicHotKeys";
constexpr std::string_view kDefaultFileName = "com.apple.symbolichotkeys";
constexpr std::string_view kDefaultFileType = "plist";

// The pieces of `text` between occurrences of `separator` (empty pieces kept).
std::vector<std::string_view> components(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

// The "value" dictionary of a usable entry: a dictionary whose "enabled" is the boolean true
// and whose "value" is a non-empty dictionary. An integer "enabled" does not count.
const Dictionary* usableValue(const Value* entry) {
    if (entry == nullptr) {
        return nullptr;
    }
    const Value* enabled = entry->find("enabled");
    const Value* value = entry->find("value");
    if (enabled == nullptr || !enabled->isBool() || !enabled->asBool() || value == nullptr) {
        return nullptr;
    }
    const Dictionary* dict = value->dictionary();
    return dict != nullptr && !dict->empty() ? dict : nullptr;
}

class Catalogue {
public:
    Catalogue(const Bundle& bundle, Console& console) : bundle_(bundle), console_(console) {}

    void run(const Dictionary& hotKeys) {
        for (std::string_view row : systemShortcutTable()) {
            const auto parts = components(row, ":");
            const std::string_view id = parts[0];
            const std::string_view title = parts.size() > 1 ? parts[1] : std::string_view{};
            auto it = hotKeys.find(id);
            const Dictionary* value = usableValue(it == hotKeys.end() ? nullptr : &it->second);
            if (value != nullptr) {
                console_.writeLine("有直:" + std::string(id));
                emit(title, *value);
            } else {
                console_.writeLine("----------- 没有值: " + std::string(id) + " -------------- ");
                lookUpDefault(id, title);
            }
        }
    }

    SystemShortcutHarvest harvest;

private:
    // The file is loaded anew for every row that falls back to it.
    void lookUpDefault(std::string_view id, std::string_view title) {
        const auto path = bundle_.pathForResource(kDefaultFileName, kDefaultFileType);
        if (!path) {
            console_.writeLine("Plist file not found in the bundle");
            return;
        }
        plist::FileBytes file = plist::readFile(*path);
        if (!file.bytes) {
            console_.writeLine("Error: " + file.error);
            return;
        }
        // The bytes are read anew for every row; parsing bytes equal to the last ones could
        // only give the same result again, so that result is reused.
        if (!lastDefault_ || lastDefault_->bytes != *file.bytes) {
            plist::ParseResult result = plist::parse(*file.bytes);
            lastDefault_ = LoadedFile{std::move(*file.bytes), std::move(result)};
        }
        const plist::ParseResult& parsed = lastDefault_->parsed;
        if (!parsed.value) {
            console_.writeLine("Error: " + parsed.error);
            return;
        }
        if (!parsed.value->isDictionary()) {
            console_.writeLine("Invalid plist format");
            return;
        }
        console_.writeLine("Successfully loaded plist file:");
        const Value* hotKeys = parsed.value->find(kHotKeysKey);
        if (hotKeys == nullptr || !hotKeys->isDictionary()) {
            return;
        }
        const Value* entry = hotKeys->find(id);
        if (entry == nullptr) {
            return;
        }
        console_.writeLine("数字:" + std::string(id));
        console_.writeLine("-----------");
        console_.writeLine("详细:" + plist::describe(*entry));
        if (const Dictionary* value = usableValue(entry)) {
            emit(title, *value);
        }
    }

    void emit(std::string_view title, const Dictionary& value) {
        auto parameters = value.find("parameters");
        if (parameters == value.end() || !parameters->second.isArray()) {
            return;
        }
        const Array& params = parameters->second.asArray();
        // Element 1 is the key code; element 2, the mask, may be missing (then 0).
        if (params.size() < 2 || !params[1].isInteger()) {
            return;
        }
        const std::int64_t keyCode = params[1].asInteger();
        const std::int64_t mask =
            params.size() > 2 && params[2].isInteger() ? params[2].asInteger() : 0;
        const KeyManager& keys = KeyManager::shared();
        const std::string& keyName = keys.keyNameForKeyCode(keyCode);
        std::string modifier = keys.modifierSymbolsForFlags(static_cast<std::uint64_t>(mask));
        if (keyName == "??") {
            return;
        }

        const auto parts = components(title, "//");
        const std::string_view category = parts[0];
        if (category != lastCategory_) {
            harvest.list.emplace_back(std::string(category));
            lastCategory_ = category;
        }
        // The last group survives a change of category.
        if (parts.size() == 3 && parts[1] != lastGroup_) {
            harvest.list.emplace_back(std::string(category) + "/" + std::string(parts[1]));
            lastGroup_ = parts[1];
        }
        harvest.list.emplace_back(
            SystemShortcutRecord{std::string(title), std::move(modifier), keyName});
        harvest.pairs.push_back(KeyCodeAndFlags{keyCode, mask});
    }

    struct LoadedFile {
        std::string bytes;
        plist::ParseResult parsed;
    };

    const Bundle& bundle_;
    Console& console_;
    std::optional<LoadedFile> lastDefault_;  // this run's last load of the default file
    std::string lastCategory_;
    std::string lastGroup_;
};

}  // namespace

SystemShortcutHarvest readSystemShortcuts(Preferences& preferences, const Bundle& bundle,
                                          Console& console) {
    preferences.appSynchronize(kDomain);
    const std::optional<Value> hotKeys = preferences.copyAppValue(kHotKeysKey, kDomain);
    if (!hotKeys || !hotKeys->isDictionary()) {
        return {};
    }
    Catalogue catalogue(bundle, console);
    catalogue.run(hotKeys->asDictionary());
    return std::move(catalogue.harvest);
}

}  // namespace kivora
