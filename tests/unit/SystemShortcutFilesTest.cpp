// The catalogue over real files: the shapes users' binary files have, the bundle's default
// shortcut file and the demo preferences of the repository.
#include <gtest/gtest.h>

#include "SystemShortcutTestSupport.h"

namespace {

using namespace kivora;
using namespace kivora::systemtest;

// After years of use: 60 entries, most for IDs the table does not know; switched-off entries
// without "value", short parameter arrays, high mask bits, other types, extra keys.
Value realUsersFile() {
    Dictionary hotKeys;
    for (int id = 200; hotKeys.size() < 50; id += 2) {
        hotKeys[std::to_string(id)] =
            id % 3 == 0 ? Value(Dictionary{{"enabled", false}}) : hotKey(id % 120, 0);
    }
    hotKeys["64"] = hotKey(49, 0x100000);
    hotKeys["60"] = parameters(Array{32, 49});       // two elements
    hotKeys["28"] = hotKey(20, 2148663296);          // 0x80120000
    hotKeys["29"] = Dictionary{{"enabled", false}};  // no "value"
    hotKeys["36"] = Dictionary{{"enabled", true},
                               {"value", Dictionary{{"parameters", Array{65535, 103, 8388608}},
                                                    {"type", "modifier"},
                                                    {"extra", "x"}}},
                               {"note", Array{}}};
    hotKeys["79"] = hotKey(123, 8650752 | 0x200000);  // keypad bit
    hotKeys["98"] =
        Dictionary{{"enabled", 1}, {"value", Dictionary{{"parameters", Array{47, 44, 0}}}}};
    hotKeys["163"] = hotKey(65535, 0);
    hotKeys["175"] = Dictionary{{"enabled", "1"}};
    hotKeys["33"] = Dictionary{{"value", Dictionary{{"parameters", Array{65535, 125, 0}}}}};
    return Dictionary{{"AppleSymbolicHotKeys", std::move(hotKeys)}};
}

TEST(SystemShortcutFiles, ARealUsersBinaryFile) {
    const auto parsed =
        plist::parse(plist::serialize(realUsersFile(), plist::Format::binary).value());
    ASSERT_TRUE(parsed.value) << parsed.error;
    ASSERT_EQ(parsed.value->find("AppleSymbolicHotKeys")->asDictionary().size(), 60U);
    Catalogue c;
    c.preferences.stored[kDomain] = *parsed.value;
    c.setDefaultFile(realUsersFile());  // the same entries as the default: fallbacks find them
    const auto harvest = c.run();
    EXPECT_EQ(rendered(harvest.list),
              (Lines{"Mission Contrl", "Mission Contrl//Show Desktop |  | F11",
                     "Mission Contrl/Mission Contrl",
                     "Mission Contrl//Mission Contrl//Move left a space | ⌃ | ←", "Input Sources",
                     "Input Sources//Select the previous input source |  | SPACE", "Screen Shots",
                     "Screen Shots//Save picture of screen as file | ⇧⌘ | 3", "Spotlight",
                     "Spotlight//Show Spotlight search | ⌘ | SPACE",
                     "Spotlight//Show Finder search window | ⌘ | SPACE"}));
    EXPECT_EQ(harvest.pairs[3], (KeyCodeAndFlags{20, 2148663296}));
    EXPECT_TRUE(contains(c.console.lines, "详细:{ enabled = 0; }"));  // 29
    EXPECT_TRUE(
        contains(c.console.lines, "详细:{ value = { parameters = ( 65535, 125, 0 ); }; }"));  // 33
}

TEST(SystemShortcutFiles, TheDefaultFileHoldsEveryRowAndTheDemoShowsEachCase) {
    const auto defaults = plist::parseFile(kRepoDefaultFile);
    ASSERT_TRUE(defaults.value) << defaults.error;
    const Value* hotKeys = defaults.value->find("AppleSymbolicHotKeys");
    ASSERT_NE(hotKeys, nullptr);
    for (std::string_view row : systemShortcutTable()) {
        EXPECT_NE(hotKeys->find(row.substr(0, row.find(':'))), nullptr) << row;
    }

    const std::string demo =
        KIVORA_SOURCE_DIR "/resources/demo/home/Library/Preferences/" + kResource;
    std::ifstream in(demo, std::ios::binary);
    std::string magic(8, '\0');
    in.read(magic.data(), 8);
    EXPECT_EQ(magic, "bplist00");  // as the system writes it
    Catalogue c;
    c.preferences.stored[kDomain] = plist::parseFile(demo).value.value();
    c.bundle.resources[kResource] = kRepoDefaultFile;
    const Lines list = rendered(c.run().list);
    const Lines& lines = c.console.lines;
    // Switched off (52) and missing (7): listed from the default file.
    EXPECT_TRUE(contains(lines, "----------- 没有值: 52 -------------- "));
    EXPECT_TRUE(contains(list, "Launchpad & Dock//Turn Dock Hiding On/Off | ⌥⌘ | D"));
    EXPECT_TRUE(contains(list, "Keyboard//Move focus to the menu bar | ⌃ | F2"));
    // Keys without a name (163, 15): dropped without fallback.
    EXPECT_TRUE(contains(lines, "有直:163") && contains(lines, "有直:15"));
    EXPECT_FALSE(contains(lines, "数字:15"));
    // Two parameters, a mask above 2^31, the user's own change.
    EXPECT_TRUE(contains(list, "Mission Contrl//Mission Contrl//Switch to Desktop 2 |  | 2"));
    EXPECT_TRUE(contains(list, "Mission Contrl//Mission Contrl//Switch to Desktop 3 | ⌘ | 3"));
    EXPECT_TRUE(contains(list, "Keyboard//Turn keyboard access on or off | ⌃⇧ | F1"));
}

}  // namespace
