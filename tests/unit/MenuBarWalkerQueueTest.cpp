// The walk's work queue: the pop budget and its carry-over, elements met twice, cycles, huge
// menus, and a target that stops answering.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "MenuBarWalkerTestSupport.h"

namespace kivora {
namespace {

using fake::SimulatedElementRef;
using fake::menu;
using fake::menuItem;
using fake::submenu;
using fake::topLevelMenu;
using testing::commandItems;
using testing::Lines;
using testing::TargetMenuBar;

TEST(MenuBarWalkerQueue, LeftoversOfTheBudgetAreWalkedUnderTheNextMenu) {
    // 1000 pops: the top-level item, its menu, then 998 items; the rest go on under "Next".
    TargetMenuBar queued(
        {topLevelMenu("Big", commandItems(1200, "b")), topLevelMenu("Next", {menuItem("N", "N")})});
    Lines sheet = queued.sheet();
    ASSERT_EQ(sheet.size(), 1U + 998 + 1 + 202 + 1 + 1);
    EXPECT_EQ(sheet[998], "Big | b997 | ⌘ | A | ");
    EXPECT_EQ((Lines{sheet[999], sheet[1000], sheet[1202]}),
              (Lines{"Next", "Next | b998 | ⌘ | A | ", "Next | N | ⌘ | N | "}));

    // Set aside too, with the submenu title: the next menu's own items, met while "Z" is still
    // set aside, stay under it; its header was written already.
    TargetMenuBar setAside(
        {topLevelMenu("Big", {submenu("Recent", commandItems(1100, "r")), menuItem("Z", "Z")}),
         topLevelMenu("Next", {menuItem("N", "N")})});
    sheet = setAside.sheet();
    ASSERT_EQ(sheet.size(), 2U + 996 + 1 + 104 + 2 + 1);
    EXPECT_EQ((Lines{sheet[1], sheet[997], sheet[998], sheet[999], sheet[1103], sheet[1104]}),
              (Lines{"Big/Recent", "Big/Recent | r995 | ⌘ | A | ", "Next",
                     "Next/Recent | r996 | ⌘ | A | ", "Next/Recent | N | ⌘ | N | ",
                     "Next | Z | ⌘ | Z | "}));

    // Children that are not elements cost their place in the budget.
    SimulatedElementRef holder = menu(std::nullopt, {});
    holder->children.assign(998, AXValue(Value(0)));
    holder->children.emplace_back(AXUIElementRef(menuItem("X", "X")));
    TargetMenuBar values({menu("Big", {holder}), topLevelMenu("Next", {})});
    EXPECT_EQ(values.sheet(), (Lines{"Next", "Next | X | ⌘ | X | ", "Next"}));
}

TEST(MenuBarWalkerQueue, AnElementQueuedTwiceIsVisitedOnce) {
    SimulatedElementRef a = menuItem("A", "A");
    TargetMenuBar twice({topLevelMenu("File", {a, menuItem("B", "B"), a})});
    EXPECT_EQ(twice.sheet(), (Lines{"File", "File | A | ⌘ | A | ", "File | B | ⌘ | B | "}));

    // ...but taking it off the queue does not take it out of the set-aside list.
    TargetMenuBar setAside({topLevelMenu("File", {submenu("S", {a}), a})});
    EXPECT_EQ(setAside.sheet(),
              (Lines{"File", "File/S", "File/S | A | ⌘ | A | ", "File | A | ⌘ | A | "}));

    // An entry that left before its queue was set aside does not come back with it: the
    // set-aside list is empty, so the menu of "S" sets aside again and clears the title.
    TargetMenuBar left({topLevelMenu("File", {a, submenu("S", {menuItem("S1", "1")}), a})});
    EXPECT_EQ(left.sheet(), (Lines{"File", "File | A | ⌘ | A | ", "File | S1 | ⌘ | 1 | "}));
}

TEST(MenuBarWalkerQueue, CyclesAndHugeMenusStayWithinTheBudgets) {
    // A menu that holds itself: each round takes it off and queues it again with its item.
    SimulatedElementRef loop = menu(std::nullopt, {menuItem("A", "A")});
    loop->children.emplace_back(AXUIElementRef(loop));
    TargetMenuBar own({menu("File", {loop})});
    MenuBarHarvest harvest = own.walk();
    EXPECT_EQ(harvest.titles.size(), 499U);  // the top-level item, then 500 menus, 499 items
    EXPECT_EQ(harvest.elements.size(), harvest.titles.size());
    loop->children.clear();  // the tree owns itself: break the cycle to free it

    // 100,000 items fill every later budget; the later menus' own items are never reached,
    // and no more children are asked for than could still be visited.
    std::vector<SimulatedElementRef> items = commandItems(3'000, "h");
    items.resize(100'000);  // beyond the budgets: bare elements, cheaper to build
    std::generate(items.begin() + 3'000, items.end(),
                  [] { return std::make_shared<fake::SimulatedElement>(); });
    TargetMenuBar huge({topLevelMenu("Huge", std::move(items)),
                        topLevelMenu("Two", {menuItem("T", "T")}),
                        topLevelMenu("Three", {menuItem("R", "R")})});
    harvest = huge.walk();
    EXPECT_EQ(harvest.titles.size(), 998U + 1000 + 1000);
    EXPECT_EQ(testing::rendered(harvest.list).back(), "Two");
    EXPECT_EQ(harvest.titles.back(), "h2997");
    EXPECT_LE(huge.accessibility.largestCopy, 3 * kMenuPopBudget);
}

TEST(MenuBarWalkerQueue, ATargetThatStopsAnsweringEndsTheWalk) {
    // Every element gets the timeout before the first call on it.
    TargetMenuBar bar({topLevelMenu("File", {menuItem("A", "A"), submenu("S", {})}),
                       topLevelMenu("Edit", {menuItem("C", "C")})});
    bar.walk();
    std::set<const AXUIElement*> limited;
    for (const auto& [element, call] : bar.accessibility.calls) {
        if (call == "timeout") {
            limited.insert(element);
        } else {
            EXPECT_TRUE(limited.contains(element)) << call;
        }
    }
    EXPECT_EQ(limited.size(), 2U + 5 + 3);  // application, menu bar, the elements

    // In the first menu: the application title was not read yet.
    SimulatedElementRef hung = submenu("Hung", {menuItem("H", "H")});
    hung->errors["AXChildren"] = kAXErrorCannotComplete;
    TargetMenuBar early({topLevelMenu("File", {menuItem("A", "A"), hung, menuItem("B", "B")}),
                         topLevelMenu("Edit", {menuItem("C", "C")})});
    MenuBarHarvest harvest = early.walk();
    EXPECT_EQ(testing::rendered(harvest.list), (Lines{"File", "File | A | ⌘ | A | "}));
    EXPECT_TRUE(harvest.timedOut);
    EXPECT_EQ(early.accessibility.calls.back().second, "count");  // nothing after it

    // Halfway through an item of the third menu: that item is not recorded.
    SimulatedElementRef half = menuItem("Half", "H");
    half->errors["AXMenuItemCmdGlyph"] = kAXErrorCannotComplete;
    TargetMenuBar late({topLevelMenu("File", {menuItem("A", "A")}),
                        topLevelMenu("Edit", {menuItem("C", "C")}),
                        topLevelMenu("View", {menuItem("V", "V"), half, menuItem("W", "W")})});
    harvest = late.walk();
    EXPECT_EQ(testing::rendered(harvest.list),
              (Lines{"File", "File | A | ⌘ | A | ", "Edit", "Edit | C | ⌘ | C | ", "View",
                     "View | V | ⌘ | V | ", "Edit"}));
    EXPECT_EQ(harvest.titles, (Lines{"A", "C", "V"}));
    EXPECT_EQ(harvest.elements.size(), 3U);
    EXPECT_EQ(late.accessibility.calls.back().second, "AXMenuItemCmdGlyph");

    TargetMenuBar noBar({topLevelMenu("File", {menuItem("A", "A")})});
    noBar.application().errors["AXMenuBar"] = kAXErrorCannotComplete;
    EXPECT_TRUE(noBar.walk().timedOut);
}

}  // namespace
}  // namespace kivora
