#include <gtest/gtest.h>

#include <functional>

#include "SystemShortcutTestSupport.h"

namespace {

using namespace kivora;
using namespace kivora::systemtest;

constexpr std::int64_t kCommand = 0x100000;

// Record `row` (1-based) as rendered: its title text, then modifiers and key.
std::string record(int row, const std::string& modifier = "⌘", const std::string& key = "A") {
    const std::string_view s = systemShortcutTable().at(static_cast<std::size_t>(row - 1));
    return std::string(s.substr(s.find(':') + 1)) + " | " + modifier + " | " + key;
}

Dictionary everyRowUsable() {
    Dictionary hotKeys;
    for (std::string_view row : systemShortcutTable()) {
        hotKeys[std::string(row.substr(0, row.find(':')))] = hotKey(0, kCommand);
    }
    return hotKeys;
}

TEST(SystemShortcutCatalogue, EveryRowUsableGivesTheFullHeaderOrder) {
    Catalogue c;
    c.setUserHotKeys(everyRowUsable());
    const auto harvest = c.run();
    Lines expected;
    // Headers, each followed by the rows up to the next.
    const std::vector<std::pair<std::vector<std::string>, int>> runs = {
        {{"Launchpad & Dock"}, 2},
        {{"Mission Contrl"}, 8},
        {{"Mission Contrl/Mission Contrl"}, 14},
        {{"Keyboard"}, 25},
        {{"Input Sources"}, 27},
        {{"Screen Shots"}, 31},
        {{"Spotlight"}, 33},
        {{"Accessibility", "Accessibility/Zoom"}, 38},
        {{"Accessibility/Contrast"}, 43},
        {{"App Shortcuts", "App Shortcuts/All Applications"}, 44}};
    int row = 1;
    for (const auto& [headers, last] : runs) {
        expected.insert(expected.end(), headers.begin(), headers.end());
        for (; row <= last; ++row) {
            expected.push_back(record(row));
        }
    }
    EXPECT_EQ(rendered(harvest.list), expected);
    EXPECT_EQ(harvest.pairs, std::vector<KeyCodeAndFlags>(44, {0, kCommand}));
    EXPECT_EQ(c.console.lines.size(), 44U);
    EXPECT_EQ(c.console.lines.front(), "有直:52");
    EXPECT_EQ(c.bundle.lookups, 0);
}

TEST(SystemShortcutCatalogue, NoHotKeysDictionaryGivesNothingAndSkipsTheDefaultFile) {
    for (const Value& stored : {Value(), Value(Array{hotKey(0, 0)})}) {
        Catalogue c;
        c.setDefaultHotKeys(everyRowUsable());
        if (!stored.isNull()) {
            c.setUserHotKeys(stored);
        }
        const auto harvest = c.run();
        EXPECT_TRUE(harvest.list.empty() && harvest.pairs.empty() && c.console.lines.empty());
        EXPECT_EQ(c.bundle.lookups, 0);
    }
}

TEST(SystemShortcutCatalogue, UnusableUserEntriesFallBackToTheDefaultEntry) {
    Catalogue c;
    c.setDefaultHotKeys(Dictionary{{"64", hotKey(49, kCommand)},
                                   {"60", hotKey(49, 0x40000)},
                                   {"61", hotKey(49, 0xC0000)},
                                   {"28", hotKey(20, 0x120000)},
                                   {"29", hotKey(20, 0x160000)},
                                   {"30", hotKey(21, 0x120000, false)}});
    c.setUserHotKeys(Dictionary{
        {"64", hotKey(0, 0, false)},  // switched off
        {"60", Dictionary{{"enabled", 1}, {"value", Dictionary{{"parameters", Array{1, 2, 3}}}}}},
        {"61", Dictionary{{"enabled", "YES"}, {"value", Dictionary{{"a", 1}}}}},
        {"28", Dictionary{{"enabled", true}, {"value", "parameters"}}},
        {"29", Dictionary{{"enabled", true}, {"value", Dictionary{}}}},
        {"31", Array{true, Dictionary{}}},  // and 30: off in the default file too
    });
    const auto harvest = c.run();
    EXPECT_EQ(rendered(harvest.list),
              (Lines{"Input Sources", record(26, "⌃", "SPACE"), record(27, "⌃⌥", "SPACE"),
                     "Screen Shots", record(28, "⇧⌘", "3"), record(29, "⌃⇧⌘", "3"), "Spotlight",
                     record(32, "⌘", "SPACE"), record(33, "⌘", "SPACE")}));
    // Both ID-64 rows read the same entry: two equal pairs.
    ASSERT_EQ(harvest.pairs.size(), 6U);
    EXPECT_EQ(harvest.pairs[4], (KeyCodeAndFlags{49, kCommand}));
    EXPECT_EQ(harvest.pairs[5], harvest.pairs[4]);
    EXPECT_EQ(c.linesFrom("----------- 没有值: 64 -------------- ", 6),
              (Lines{"----------- 没有值: 64 -------------- ",
                     "Successfully loaded plist file:", "数字:64", "-----------",
                     "详细:{ enabled = 1; value = { parameters = ( 65535, 49, 1048576 ); type = "
                     "standard; }; }",
                     "----------- 没有值: 64 -------------- "}));
    // Loaded anew for every row that needs it: all 44 here, with its lines each time.
    EXPECT_EQ(c.bundle.lookups, 44);
    EXPECT_EQ(std::count(c.console.lines.begin(), c.console.lines.end(),
                         "Successfully loaded plist file:"),
              44);
}

TEST(SystemShortcutCatalogue, AUsableUserEntryIsFinalEvenWhenItEmitsNothing) {
    Catalogue c;
    c.setDefaultHotKeys(everyRowUsable());
    c.setUserHotKeys(Dictionary{
        {"21", Dictionary{{"enabled", true}, {"value", Dictionary{{"type", "standard"}}}}},
        {"59", Dictionary{{"enabled", true}, {"value", Dictionary{{"parameters", Dictionary{}}}}}},
        {"162", parameters(Array{65535})},
        {"98", parameters(Array{47, "44", kCommand})}});
    const Lines list = rendered(c.run().list);
    EXPECT_EQ(c.bundle.lookups, 40);  // the other rows only
    for (int row : {41, 42, 43, 44}) {
        EXPECT_FALSE(contains(list, record(row))) << row;
        const std::string_view text = systemShortcutTable()[static_cast<std::size_t>(row - 1)];
        EXPECT_FALSE(
            contains(c.console.lines, "数字:" + std::string(text.substr(0, text.find(':')))));
    }
}

TEST(SystemShortcutCatalogue, KeyCodesAndMasksOfEveryShape) {
    Catalogue c;
    c.setDefaultHotKeys(Dictionary{});
    c.setUserHotKeys(Dictionary{
        {"7", hotKey(65535, kCommand)},                     // no name: dropped
        {"8", hotKey(10, kCommand)},                        // no name either
        {"9", hotKey(-1, kCommand)},                        // "nil", listed
        {"10", parameters(Array{65535, 96, "command"})},    // mask not an integer: "" and 0
        {"11", parameters(Array{65535, 97})},               // no mask element: "" and 0
        {"27", parameters(Array{65535, 50, 1.0})},          // real mask: "" and 0
        {"51", parameters(Array{96, 50.0, kCommand})},      // real key code: dropped
        {"57", hotKey(100, 2148532224)},                    // above 2^31: command bit counts
        {"12", hotKey(122, -1)},                            // all bits: every modifier
        {"13", hotKey(98, 0x800000 | 0x10000 | 0x200000)},  // fn, caps lock, keypad: none
        {"156", hotKey(4294967345, 0)},                     // beyond 32 bits: no name
    });
    const auto harvest = c.run();
    EXPECT_EQ(rendered(harvest.list),
              (Lines{"Keyboard", record(15, "", "F7"), record(16, "⌃⌥⇧⌘", "F1"),
                     record(19, "⌘", "nil"), record(20, "", "F5"), record(21, "", "F6"),
                     record(22, "", "`"), record(24, "⌘", "F8")}));
    EXPECT_EQ(harvest.pairs, (std::vector<KeyCodeAndFlags>{{98, 0xA10000},
                                                           {122, -1},
                                                           {-1, kCommand},
                                                           {96, 0},
                                                           {97, 0},
                                                           {50, 0},
                                                           {100, 2148532224}}));
}

TEST(SystemShortcutCatalogue, HeadersComeOnlyWithTheRowsThatEmit) {
    Catalogue c;
    c.setDefaultHotKeys(Dictionary{});
    c.setUserHotKeys(Dictionary{{"21", hotKey(28, 0x1C0000)}});  // only row 41 of Accessibility
    EXPECT_EQ(rendered(c.run().list), (Lines{"Accessibility", record(41, "⌃⌥⌘", "8")}));

    c.setUserHotKeys(Dictionary{{"79", hotKey(123, 0)},
                                {"17", hotKey(24, 0)},
                                {"26", hotKey(43, 0)},
                                {"25", hotKey(65535, 0)}});
    EXPECT_EQ(rendered(c.run().list),
              (Lines{"Mission Contrl", "Mission Contrl/Mission Contrl", record(9, "", "←"),
                     "Accessibility", "Accessibility/Zoom", record(37, "", "="),
                     "Accessibility/Contrast", record(40, "", ",")}));
}

TEST(SystemShortcutCatalogue, TwoRunsReadThePreferencesAfresh) {
    Catalogue c;
    c.setDefaultHotKeys(Dictionary{});
    c.setUserHotKeys(Dictionary{{"64", hotKey(49, kCommand)}});
    const auto first = c.run();
    const auto second = c.run();
    EXPECT_EQ(first.list, second.list);
    EXPECT_EQ(first.pairs, second.pairs);
    c.setUserHotKeys(Dictionary{{"64", hotKey(49, 0x40000)}});
    EXPECT_EQ(c.run().pairs, std::vector<KeyCodeAndFlags>(2, {49, 0x40000}));
    EXPECT_EQ(c.preferences.synchronizeCount, 3);
}

TEST(SystemShortcutCatalogue, DefaultFileProblemsDropTheRowWithTheirLine) {
    const std::string format =
        "Error: The data couldn’t be read because it isn’t in the correct format";
    const std::string missing =
        "Error: The file “com.apple.symbolichotkeys.plist” couldn’t be opened because ";
    std::string deep = "<plist>";
    for (int i = 0; i < 100; ++i) {
        deep += "<array>";
    }
    const std::vector<std::pair<std::function<void(Catalogue&)>, Lines>> cases = {
        {[](Catalogue&) {}, {"Plist file not found in the bundle"}},
        {[](Catalogue& c) {
             c.bundle.resources[kResource] = (c.folder.path() / kResource).string();
         },
         {missing + "there is no such file."}},
        {[](Catalogue& c) { c.setDefaultBytes(""); }, {format + " (the data is empty)."}},
        {[](Catalogue& c) { c.setDefaultBytes("<plist><dict><key>AppleSymbolicHotKeys</key>"); },
         {format + "."}},
        {[deep](Catalogue& c) { c.setDefaultBytes(deep); },
         {format + " (arrays and dictionaries are nested more than 64 levels deep)."}},
        {[](Catalogue& c) {
             c.setDefaultFile(Array{Dictionary{{"52", hotKey(2, 0)}}});
         },
         {"Invalid plist format"}},
        {[](Catalogue& c) {
             c.setDefaultFile(Dictionary{{"AppleSymbolicHotKeys", Array{hotKey(2, 0)}}});
         },
         {"Successfully loaded plist file:"}},
        {[](Catalogue& c) {
             c.setDefaultHotKeys(Dictionary{{"52", Dictionary{{"enabled", true}}}});
         },
         {"Successfully loaded plist file:", "数字:52", "-----------", "详细:{ enabled = 1; }"}},
    };
    for (const auto& [setUp, lines] : cases) {
        Catalogue c;
        c.setUserHotKeys(Dictionary{});
        setUp(c);
        const auto harvest = c.run();
        EXPECT_TRUE(harvest.list.empty() && harvest.pairs.empty());
        // Row 1's lines, then row 2's: nothing else.
        Lines expected{"----------- 没有值: 52 -------------- "};
        expected.insert(expected.end(), lines.begin(), lines.end());
        expected.push_back("----------- 没有值: 160 -------------- ");
        EXPECT_EQ(c.linesFrom(expected.front(), expected.size()), expected);
    }
}

}  // namespace
