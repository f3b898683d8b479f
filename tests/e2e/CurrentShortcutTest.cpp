// The menu shortcut sheet end to end: the real helper on a private bus serves the demo desktop's
// applications, presses what the main application picks, and stays responsive when the target
// application hangs.

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/support/E2e.h"

namespace kivora::e2e {
namespace {

using Lines = std::vector<std::string>;

// The demo editor's sheet: the Apple menu as U+F8FF, the Services submenu left out, nested
// submenus under their first-level title in breadth-first order, the application title last.
const Lines kEditorSheet = {
    "# \uF8FF",
    "\uF8FF | Lock Screen | ⌃⌘ | Q | ∅",
    "\uF8FF | Log Out Demo User… | ⇧⌘ | Q | ∅",
    "# Editor",
    "Editor | Settings… | ⌘ | , | ∅",
    "Editor | Hide Editor | ⌘ | H | ∅",
    "Editor | Hide Others | ⌥⌘ | H | ∅",
    "Editor | Quit Editor | ⌘ | Q | ∅",
    "# File",
    "File | New | ⌘ | N | ∅",
    "File | New Window | ⇧⌘ | N | ∅",
    "File | Open… | ⌘ | O | ∅",
    "File | Close | ⌘ | W | ∅",
    "File | Close All | ⌥⌘ | W | ∅",
    "File | Save | ⌘ | S | ∅",
    "File | Duplicate | ⇧⌘ | S | ∅",
    "File | Save As… | ⌥⇧⌘ | S | ∅",
    "File | Export as PDF… | ⌃⌥⌘ | E | ∅",
    "File | Page Setup… | ⇧⌘ | P | ∅",
    "File | Print… | ⌘ | P | ∅",
    "# Edit",
    "Edit | Undo | ⌘ | Z | ∅",
    "Edit | Cut | ⌘ | X | ∅",
    "Edit | Copy | ⌘ | C | ∅",
    "Edit | Paste | ⌘ | V | ∅",
    "Edit | Paste and Match Style | ⌥⇧⌘ | V | ∅",
    "Edit | Delete Line | ⌘ | ∅ | ⌫",
    "Edit | Select All | ⌘ | A | ∅",
    "# Edit/Find",
    "Edit/Find | Find… | ⌘ | F | ∅",
    "Edit/Find | Find and Replace… | ⌥⌘ | F | ∅",
    "Edit/Find | Find Next | ⌘ | G | ∅",
    "Edit/Find | Find Previous | ⇧⌘ | G | ∅",
    "Edit/Find | Use Selection for Find | ⌘ | E | ∅",
    "Edit/Find | Jump to Selection | ⌘ | J | ∅",
    "# Edit/Spelling and Grammar",
    "Edit/Spelling and Grammar | Show Spelling and Grammar | ⌘ | : | ∅",
    "Edit/Spelling and Grammar | Check Document Now | ⌘ | ; | ∅",
    "# Edit/Transformations",
    "Edit/Transformations | Make Upper Case | ⌃⇧ | U | ∅",
    "Edit/Transformations | Make Lower Case | ⌃⇧ | L | ∅",
    "Edit/Transformations | Capitalize | ⌃⇧ | C | ∅",
    "Edit | Start Dictation… | fn | D | ∅",
    "Edit | Emoji & Symbols | fn | E | ∅",
    "# Format",
    "# Format/Font",
    "Format/Font | Show Fonts | ⌘ | T | ∅",
    "Format/Font | Bold | ⌘ | B | ∅",
    "Format/Font | Italic | ⌘ | I | ∅",
    "Format/Font | Underline | ⌘ | U | ∅",
    "Format/Font | Bigger | ⌘ | + | ∅",
    "Format/Font | Smaller | ⌘ | - | ∅",
    "Format/Font | Copy Style | ⌥⌘ | C | ∅",
    "Format/Font | Paste Style | ⌥⌘ | V | ∅",
    "# Format/Text",
    "Format/Text | Align Left | ⌘ | { | ∅",
    "Format/Text | Center | ⌘ | | | ∅",
    "Format/Text | Align Right | ⌘ | } | ∅",
    "Format/Text | Show Ruler | ⌃⌘ | R | ∅",
    "Format/Text | Copy Ruler | ⌃⌘ | C | ∅",
    "Format/Text | Paste Ruler | ⌃⌘ | V | ∅",
    "Format | Make Plain Text | ⇧⌘ | T | ∅",
    "# View",
    "View | Show Toolbar | ⌥⌘ | T | ∅",
    "View | Show Sidebar | ⌃⌘ | S | ∅",
    "View | Zoom: 100% | ⌘ | 0 | ∅",
    "View | Zoom In | ⌘ | = | ∅",
    "View | Zoom Out | ⌘ | - | ∅",
    "# View/Appearance",
    "View/Appearance | Increase Contrast | ⌃⇧⌘ | C | ∅",
    "View/Appearance | Show Invisibles | ⌃⌥⇧⌘ | I | ∅",
    "View/Appearance | Line Numbers | ⌃⇧⌘ | L | ∅",
    "View/Appearance | Light | ⌃⌥⌘ | L | ∅",
    "View/Appearance | Dark | ⌃⌥⌘ | D | ∅",
    "View/Appearance | High Contrast | ⌃⌥⇧⌘ | H | ∅",
    "View | Enter Full Screen | fn | F | ∅",
    "# Window",
    "Window | Minimize | ⌘ | M | ∅",
    "Window | Minimize All | ⌥⌘ | M | ∅",
    "Window | Fill | ⌃⇧ | F | ∅",
    "Window | Center Window | ⌃ | C | ∅",
    "Window | Show Previous Tab | ⌃⇧ | ⇥ | ∅",
    "Window | Show Next Tab | ⌃ | ⇥ | ∅",
    "Window | Cycle Through Windows | ⌘ | ` | ∅",
    "# Help",
    "Help | Editor Help | ⌘ | ? | ∅",
    "Help | Keyboard Shortcuts | ⇧⌘ | / | ∅",
    "Editor",
};

// The second demo application's headers: a different menu bar, and its Find submenu, the last
// element of Edit, recorded under "Edit" without a header of its own.
const Lines kTerminalStrings = {
    "# \uF8FF", "# Terminal", "# Shell", "# Shell/New Window", "# Shell/New Tab", "# Edit",
    "# View",   "# Window",   "# Help",  "Terminal",
};

Lines stringsOnly(const Lines& sheet) {
    Lines strings;
    std::copy_if(sheet.begin(), sheet.end(), std::back_inserter(strings),
                 [](const std::string& line) { return line.find(" | ") == std::string::npos; });
    return strings;
}

class CurrentShortcut : public ::testing::Test {
protected:
    void start(const std::string& desktop) {
        helper = startHelper(bus, HelperOptions::withArgs({"--desktop", desktop}));
        ASSERT_TRUE(helper);
    }

    // Posts "GetCurrentShortcut" and returns the reply's list as lines (empty on no reply).
    Lines sheet(Duration timeout = kDefaultTimeout) {
        client.post("GetCurrentShortcut", kHelperObject);
        auto reply = client.waitFor("GetCurrentShortcutResponse", timeout);
        if (!reply) {
            ADD_FAILURE() << "no GetCurrentShortcutResponse within " << timeout.count() << " ms\n"
                          << helper->describe();
            return {};
        }
        EXPECT_EQ(reply->object, kMainAppObject);
        EXPECT_EQ(reply->userInfo.size(), 1u);
        return sheetLines(currentShortcut(*reply));
    }

    void press(const std::string& title) {
        client.post("tellHelperToCurrentClickted:" + title, kHelperObject);
        ASSERT_TRUE(client.ping()) << helper->describe();
    }

    PrivateBus bus;
    TestClient client{bus};
    std::unique_ptr<HelperProcess> helper;
};

TEST_F(CurrentShortcut, TheDemoEditorsSheetWithItsLogLines) {
    start(demoDesktop());
    EXPECT_EQ(sheet(), kEditorSheet);
    EXPECT_TRUE(helper->waitForLine("子程序中获取的当前程序快捷键个数：88")) << helper->describe();
    const Lines out = helper->stdoutLines();
    // The thread line, the application title from the walk, then the count.
    ASSERT_EQ(out.size(), 3u) << helper->describe();
    EXPECT_FALSE(out[0].empty());
    EXPECT_EQ(out[1], "Editor");

    // A request that is not addressed to the helper is not one.
    client.post("GetCurrentShortcut", kMainAppObject);
    client.post("getCurrentShortcut", kHelperObject);
    ASSERT_TRUE(client.ping());
    EXPECT_EQ(client.count("GetCurrentShortcutResponse"), 1u);
}

TEST_F(CurrentShortcut, ActivateSwitchesTheSheetAndPressesReachTheTarget) {
    start(demoDesktop());
    ASSERT_TRUE(client.activate("com.example.Terminal"));
    const Lines terminal = sheet();
    EXPECT_EQ(stringsOnly(terminal), kTerminalStrings);
    EXPECT_EQ(terminal.size(), kTerminalStrings.size() + 39);
    EXPECT_NE(std::find(terminal.begin(), terminal.end(), "Edit | Find Previous | ⇧⌘ | G | ∅"),
              terminal.end());
    press("Copy");

    ASSERT_TRUE(client.activate("com.example.Editor"));
    ASSERT_EQ(sheet(), kEditorSheet);
    press("Zoom: 100%");  // the whole rest of the name, colon and all
    press(" 100%");       // the text after the colon is no title
    press("Paste");
    EXPECT_EQ(client.pressedItems(), (Lines{"Edit/Copy", "View/Zoom: 100%", "Edit/Paste"}));

    // The stored element outlives its application: the press fails with the handle's error.
    ASSERT_TRUE(client.quit("com.example.Editor"));
    press("Paste");
    ASSERT_TRUE(helper->waitForLine("点击操作失败，错误码：-25202")) << helper->describe();
    EXPECT_EQ(client.pressedItems().size(), 3u);
    EXPECT_EQ(helper->countLines("点击了: Zoom: 100%"), 1u);
    EXPECT_EQ(helper->countLines("成功执行点击操作"), 3u) << helper->describe();
}

// Frozen answers nothing; Stalling hangs from its Edit menu on, and when Save is pressed.
TEST_F(CurrentShortcut, AHungApplicationIsAnsweredWithinTwoSecondsAndTheNextRequestServed) {
    constexpr Duration kDeadline{2000};
    start(extraDesktop("hung-application.json"));
    EXPECT_EQ(sheet(kDeadline), Lines{});
    EXPECT_EQ(sheet(kDeadline), Lines{});

    ASSERT_TRUE(client.activate("com.example.Stalling"));
    EXPECT_EQ(sheet(kDeadline),
              (Lines{"# Stalling", "Stalling | Quit Stalling | ⌘ | Q | ∅", "# File",
                     "File | Save | ⌘ | S | ∅", "File | Open… | ⌘ | O | ∅", "Stalling"}));
    press("Save");
    EXPECT_TRUE(helper->waitForLine("点击操作失败，错误码：-25204")) << helper->describe();
    press("Open…");
    EXPECT_EQ(client.pressedItems(), Lines{"File/Open…"});

    ASSERT_TRUE(client.activate("com.example.Editor"));
    EXPECT_EQ(sheet(kDeadline),
              (Lines{"# Editor", "Editor | Quit Editor | ⌘ | Q | ∅", "# File",
                     "File | New | ⌘ | N | ∅", "File | Save | ⌘ | S | ∅", "Editor"}));
}

}  // namespace
}  // namespace kivora::e2e
