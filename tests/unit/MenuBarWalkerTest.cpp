// The menu shortcut list: which items are recorded, how, and under which headers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MenuBarWalkerTestSupport.h"

namespace kivora {
namespace {

using fake::menu;
using fake::menuItem;
using fake::SimulatedElementRef;
using fake::submenu;
using fake::topLevelMenu;
using testing::Lines;
using testing::TargetMenuBar;

const std::string kLogo = "\uF8FF";

SimulatedElementRef with(SimulatedElementRef e, const std::string& attribute, AXValue value) {
    e->attributes[attribute] = std::move(value);
    return e;
}
SimulatedElementRef without(SimulatedElementRef e, const std::string& attribute) {
    e->attributes.erase(attribute);
    return e;
}

TEST(MenuBarWalker, ModifierTable) {
    const std::map<std::int64_t, std::string> texts = {
        {0, "⌘"},   {1, "⇧⌘"},   {2, "⌥⌘"}, {3, "⌥⇧⌘"}, {4, "⌃⌘"},  {5, "⌃⇧⌘"},
        {6, "⌃⌥⌘"}, {7, "⌃⌥⇧⌘"}, {8, ""},   {12, "⌃"},  {13, "⌃⇧"}, {24, "fn"}};
    for (std::int64_t value = -3; value <= 26; ++value) {
        auto it = texts.find(value);
        EXPECT_EQ(menuModifierText(value),
                  it == texts.end() ? std::nullopt : std::optional<std::string>(it->second))
            << value;
    }
    EXPECT_EQ(menuModifierText(std::numeric_limits<std::int64_t>::min()), std::nullopt);

    // Not a number counts as 0; reals are truncated; the pair keeps the value as read.
    auto item = [](const std::string& title, Value modifiers) {
        return with(menuItem(title, "Z"), "AXMenuItemCmdModifiers", std::move(modifiers));
    };
    TargetMenuBar bar({topLevelMenu(
        "Edit", {menuItem("Absent", "Z"), item("Six", 6), item("Eight", 8), item("Fn", 24),
                 item("Negative", -1), item("Real", 2.9), item("NaN", std::nan("")),
                 item("Huge", 1e300), item("Text", "4"), item("Bool", true)})});
    MenuBarHarvest harvest = bar.walk();
    EXPECT_EQ(testing::rendered(harvest.list),
              (Lines{"Edit", "Edit | Absent | ⌘ | Z | ", "Edit | Six | ⌃⌥⌘ | Z | ",
                     "Edit | Fn | fn | Z | ", "Edit | Real | ⌥⌘ | Z | ", "Edit | Text | ⌘ | Z | ",
                     "Edit | Bool | ⌘ | Z | "}));
    EXPECT_EQ(harvest.pairs,
              (std::vector<KeyCodeAndFlags>{{6, 0}, {6, 6}, {6, 24}, {6, 2}, {6, 0}, {6, 0}}));
}

TEST(MenuBarWalker, ItemFilters) {
    SimulatedElementRef kept = menuItem("Kept", "K", 1);
    TargetMenuBar bar({topLevelMenu(
        "Edit",
        {menuItem("No Shortcut", std::nullopt),
         with(menuItem("Numeric Glyph", std::nullopt), "AXMenuItemCmdGlyph", Value(23)),
         with(menuItem("Glyph", std::nullopt, 12), "AXMenuItemCmdGlyph", Value("⌫")),
         with(menuItem("Element Char", std::nullopt), "AXMenuItemCmdChar",
              AXUIElementRef(menu("C", {}))),
         menuItem("Empty Char", ""), menuItem("No Command Key", "X", 8),
         menuItem("Disabled", "D", 0, false), without(menuItem("No Enabled", "E"), "AXEnabled"),
         with(menuItem("Odd Enabled", "E"), "AXEnabled", Value(0)),
         without(menuItem("", "T"), "AXTitle"), with(menuItem("", "T"), "AXTitle", Value(7)),
         menuItem("", "T"), kept})});

    MenuBarHarvest harvest = bar.walk();

    EXPECT_EQ(testing::rendered(harvest.list),
              (Lines{"Edit", "Edit | Glyph | ⌃ |  | ⌫", "Edit | Empty Char | ⌘ |  | ",
                     "Edit | No Enabled | ⌘ | E | ", "Edit | Odd Enabled | ⌘ | E | ",
                     "Edit |  | ⌘ | T | ", "Edit |  | ⌘ | T | ", "Edit |  | ⌘ | T | ",
                     "Edit | Kept | ⇧⌘ | K | "}));
    // Untitled items are listed but cannot be pressed by title; the arrays stay aligned.
    EXPECT_EQ(harvest.titles, (Lines{"Glyph", "Empty Char", "No Enabled", "Odd Enabled", "Kept"}));
    ASSERT_EQ(harvest.elements.size(), harvest.titles.size());
    EXPECT_EQ(harvest.elements.back(), kept);
    // "" and a glyph have no key code.
    EXPECT_EQ(harvest.pairs,
              (std::vector<KeyCodeAndFlags>{{14, 0}, {14, 0}, {17, 0}, {17, 0}, {17, 0}, {40, 1}}));
}

TEST(MenuBarWalker, AppleMenuAndServices) {
    TargetMenuBar bar({
        topLevelMenu("Apple", {submenu("Recent Items", {menuItem("Clear", "C", 7)}),
                               menuItem("Force Quit", "⎋", 3)}),
        topLevelMenu("Apple",
                     {submenu("服务", {menuItem("笔记", "N")}),
                      submenu("Services", {menuItem("Note", "N")}), menuItem("Hide", "H")}),
    });
    // The application title comes from the second menu and is never replaced.
    EXPECT_EQ(bar.sheet(),
              (Lines{kLogo, kLogo + "/Recent Items", kLogo + "/Recent Items | Clear | ⌃⌥⇧⌘ | C | ",
                     kLogo + " | Force Quit | ⌥⇧⌘ | ⎋ | ", kLogo + " | Hide | ⌘ | H | ", "Apple"}));
}

TEST(MenuBarWalker, HeadersAndPaths) {
    TargetMenuBar bar({
        // A titled menu element under the top-level item titles the items before a submenu.
        menu("File", {menu("Items", {menuItem("A", "A"), submenu("Recent", {menuItem("R", "R")}),
                                     menuItem("B", "B")})}),
        menu("Edit", {menu("", {menuItem("C", "C"), submenu("Recent", {menuItem("L", "L")})})}),
        topLevelMenu("View",
                     {submenu("Show", {menuItem("S1", "1"), submenu("Zoom", {menuItem("Z", "Z")}),
                                       menuItem("S2", "2")}),
                      submenu("View", {menuItem("X", "X")}), menuItem("D", "D")}),
        topLevelMenu("Go", {submenu("Show", {menuItem("G", "G")}), menuItem("H", "H")}),
    });
    EXPECT_EQ(bar.sheet(), (Lines{
                               "File",
                               "File/Items",
                               "File/Items | A | ⌘ | A | ",
                               "File/Recent",
                               "File/Recent | R | ⌘ | R | ",
                               "File | B | ⌘ | B | ",
                               "Edit",
                               "Edit/",  // an empty title is a title
                               "Edit/ | C | ⌘ | C | ",
                               "Edit | L | ⌘ | L | ",  // submenu as last element: no header
                               "View",
                               "View/Show",
                               "View/Show | S1 | ⌘ | 1 | ",
                               "View/Show | S2 | ⌘ | 2 | ",
                               "View/Show | Z | ⌘ | Z | ",  // nested: after the outer items
                               "View | D | ⌘ | D | ",
                               "View | X | ⌘ | X | ",  // titled like its menu: no submenu
                               "Go",
                               "Go/Show | G | ⌘ | G | ",  // same title as the last header
                               "Go | H | ⌘ | H | ",
                               "Edit",
                           }));
}

TEST(MenuBarWalker, TopLevelMenuWithoutTextualTitleIsWalkedUnderTheEmptyTitle) {
    SimulatedElementRef untitled = without(topLevelMenu("", {menuItem("U", "U")}), "AXTitle");
    SimulatedElementRef numeric = with(topLevelMenu("", {menuItem("N", "N")}), "AXTitle", Value(3));
    TargetMenuBar bar({untitled, numeric, topLevelMenu("Edit", {menuItem("E", "E")})});
    MenuBarHarvest harvest = bar.walk();
    // As the second menu it gives no application title.
    EXPECT_EQ(testing::rendered(harvest.list),
              (Lines{" | U | ⌘ | U | ", " | N | ⌘ | N | ", "Edit", "Edit | E | ⌘ | E | "}));
    EXPECT_EQ(harvest.titles, (Lines{"U", "N", "E"}));

    // After another menu it gets a header of its own.
    TargetMenuBar after({topLevelMenu("Edit", {menuItem("E", "E")}), untitled});
    EXPECT_EQ(after.sheet(), (Lines{"Edit", "Edit | E | ⌘ | E | ", "", " | U | ⌘ | U | "}));
}

TEST(MenuBarWalker, WhatCannotBeReadIsLeftOut) {
    auto twoMenus = [] {
        return std::vector<SimulatedElementRef>{topLevelMenu("File", {menuItem("Save", "S")}),
                                                topLevelMenu("Edit", {menuItem("Copy", "C")})};
    };
    TargetMenuBar untrusted(twoMenus());
    untrusted.accessibility.desktop.trusted = false;
    EXPECT_EQ(untrusted.sheet(), Lines{});
    TargetMenuBar textBar(twoMenus());
    textBar.application().attributes["AXMenuBar"] = Value("menu bar");
    EXPECT_EQ(textBar.sheet(), Lines{});
    fake::TestAccessibility none;
    EXPECT_TRUE(walkMenuBar(none, 0).list.empty());  // no target

    SimulatedElementRef countFails = submenu("Count Fails", {menuItem("Lost", "L")});
    countFails->errors["AXChildren"] = kAXErrorFailure;
    SimulatedElementRef copyFails = submenu("Copy Fails", {menuItem("Lost", "L")});
    SimulatedElementRef gone = menuItem("Gone", "G");
    gone->valid = false;
    SimulatedElementRef holder =
        menu(std::nullopt, {countFails, copyFails, gone, menuItem("K", "K")});
    holder->children.insert(holder->children.begin(), AXValue(Value("not an element")));
    holder->children.insert(holder->children.begin(), AXValue(AXUIElementRef()));
    // A single menu: no application title. A second menu without records: still one.
    TargetMenuBar skipping({menu("File", {holder})});
    skipping.accessibility.failCopy.insert(copyFails.get());
    EXPECT_EQ(skipping.sheet(), (Lines{"File", "File | K | ⌘ | K | "}));
    TargetMenuBar empty({menu("File", {holder}), topLevelMenu("Single", {})});
    empty.accessibility.failCopy.insert(copyFails.get());
    EXPECT_EQ(empty.sheet(), (Lines{"File", "File | K | ⌘ | K | ", "Single"}));
}

}  // namespace
}  // namespace kivora
