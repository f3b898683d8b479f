// System shortcut catalogue runs: the cases of system-shortcuts.json over fake preferences and a
// default file written to a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>

#include "PropertyListTestSupport.h"
#include "ShortcutTestSupport.h"
#include "fakes/FakeBundle.h"
#include "fakes/FakeConsole.h"
#include "fakes/FakePreferences.h"
#include "platform/Json.h"
#include "platform/PropertyList.h"
#include "system/SystemShortcutCatalogue.h"
#include "system/SystemShortcutTable.h"

namespace kivora {
namespace {

using Case = nlohmann::json;
using testing::Lines;
const std::string kDomain = "com.apple.symbolichotkeys";
const std::string kResource = "com.apple.symbolichotkeys.plist";

Value valueOf(const Case& j) {
    return kivora::json::parse(j.dump(), {.maxBytes = 1 << 20, .allowScalarTopLevel = true})
        .value.value();
}

// The hot keys of `key`, with every row's ID set to `fill` when the case gives one.
std::optional<Value> hotKeys(const Case& c, const std::string& key, const std::string& fill) {
    if (!c.contains(key) && !c.contains(fill)) {
        return std::nullopt;
    }
    Value keys = c.contains(key) ? valueOf(c[key]) : Value(Dictionary{});
    if (c.contains(fill)) {
        for (std::string_view row : systemShortcutTable()) {
            keys.asDictionary()[std::string(row.substr(0, row.find(':')))] = valueOf(c[fill]);
        }
    }
    return keys;
}

TEST(SystemShortcutCatalogue, Cases) {
    const Case file = testing::caseFile("system-shortcuts.json");
    for (const Case& c : file.at("cases")) {
        SCOPED_TRACE(c.at("name").get<std::string>());
        fake::FakePreferences preferences;
        fake::FakeBundle bundle;
        fake::FakeConsole console;
        plisttest::TemporaryFolder folder;

        if (auto user = hotKeys(c, "user", "fillUser")) {
            preferences.stored[kDomain] = Dictionary{{"AppleSymbolicHotKeys", *user}};
        }
        std::optional<Value> root =
            c.contains("defaultRoot") ? valueOf(c["defaultRoot"]) : std::optional<Value>();
        if (auto keys = hotKeys(c, "defaultHotKeys", "fillDefault")) {
            root = Dictionary{{"AppleSymbolicHotKeys", *keys}};
        }
        if (root) {
            bundle.resources[kResource] =
                folder.write(kResource, plist::serialize(*root, plist::Format::xml).value());
        } else if (c.contains("defaultBytes")) {
            bundle.resources[kResource] =
                folder.write(kResource, c["defaultBytes"].get<std::string>());
        } else if (c.contains("defaultFile")) {  // "missing"
            bundle.resources[kResource] = (folder.path() / kResource).string();
        }

        const SystemShortcutHarvest harvest = readSystemShortcuts(preferences, bundle, console);
        const Lines list = testing::rendered(harvest.list);
        const Lines& log = console.lines;
        if (c.contains("list")) {
            EXPECT_EQ(list, c["list"].get<Lines>());
        }
        if (c.contains("pairs")) {
            EXPECT_EQ(harvest.pairs, testing::pairsOf(c["pairs"]));
        }
        if (c.contains("log")) {
            EXPECT_EQ(log, c["log"].get<Lines>());
        }
        if (c.contains("logFrom")) {  // a run of lines, from the first one equal to its first
            const Lines run = c["logFrom"].get<Lines>();
            const auto from = std::find(log.begin(), log.end(), run.front());
            const auto n = std::min<std::ptrdiff_t>(std::ssize(run), log.end() - from);
            EXPECT_EQ(Lines(from, from + n), run);
        }
        for (const auto& [key, lines] :
             {std::pair("listCounts", &list), std::pair("logCounts", &log)}) {
            const Case counts = c.value(key, Case::object());
            for (const auto& [line, n] : counts.items()) {
                EXPECT_EQ(std::count(lines->begin(), lines->end(), line), n.get<int>()) << line;
            }
        }
        if (c.contains("lookups")) {
            EXPECT_EQ(bundle.lookups, c["lookups"].get<int>());
        }
    }
}

}  // namespace
}  // namespace kivora
