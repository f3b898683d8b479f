// Menu bar walks: the cases of menu-walks.json, then what only built trees show (the pop
// budget's carry-over, shared and cyclic elements, huge menus).
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <set>

#include "ShortcutTestSupport.h"
#include "fakes/TestAccessibility.h"
#include "menubar/MenuBarWalker.h"

namespace kivora {
namespace {

using fake::menu;
using fake::menuItem;
using fake::SimulatedElementRef;
using fake::submenu;
using fake::topLevelMenu;
using simulated::SimulatedElement;
using testing::Lines;
using testing::rendered;
constexpr std::int32_t kPid = 4242;

const SimulatedElement& simNode(const AXUIElementRef& e) {
    return static_cast<const SimulatedElement&>(*e);
}

// Logs every call (element, and attribute, "count", "children" or "timeout") and the most
// children asked for in one copy; the copy of the children of a "failCopy" element fails.
struct RecordingAccessibility : fake::TestAccessibility {
    std::vector<std::pair<const AXUIElement*, std::string>> calls;
    std::int64_t largestCopy = 0;

    AXError copyAttributeValue(const AXUIElementRef& e, std::string_view a, AXValue& v) override {
        calls.emplace_back(e.get(), a);
        return TestAccessibility::copyAttributeValue(e, a, v);
    }
    AXError getAttributeValueCount(const AXUIElementRef& e, std::string_view a,
                                   std::int64_t& count) override {
        calls.emplace_back(e.get(), "count");
        return TestAccessibility::getAttributeValueCount(e, a, count);
    }
    AXError copyAttributeValues(const AXUIElementRef& e, std::string_view a, std::int64_t index,
                                std::int64_t maxValues, std::vector<AXValue>& values) override {
        calls.emplace_back(e.get(), "children");
        largestCopy = std::max(largestCopy, maxValues);
        if (simNode(e).attributes.contains("failCopy")) {
            return kAXErrorAttributeUnsupported;
        }
        return TestAccessibility::copyAttributeValues(e, a, index, maxValues, values);
    }
    AXError setMessagingTimeout(const AXUIElementRef& e, float seconds) override {
        calls.emplace_back(e.get(), "timeout");
        return TestAccessibility::setMessagingTimeout(e, seconds);
    }
};

// Elements written with "valid": false answer every call as destroyed ones do.
void markInvalid(const AXValue& value) {
    const auto* ref = std::get_if<AXUIElementRef>(&value);
    if (ref == nullptr || !*ref) {
        return;
    }
    auto& element = const_cast<SimulatedElement&>(simNode(*ref));
    element.valid = !element.attributes.contains("valid");
    for (const AXValue& child : element.children) {
        markInvalid(child);
    }
}

TEST(MenuBarWalker, Cases) {
    const nlohmann::json file = testing::caseFile("menu-walks.json");
    const auto& texts = file.at("modifierTexts");
    for (std::int64_t value = -3; value <= 26; ++value) {
        auto it = texts.find(std::to_string(value));
        EXPECT_EQ(menuModifierText(value), it == texts.end()
                                               ? std::nullopt
                                               : std::optional<std::string>(it->get<std::string>()))
            << value;
    }
    EXPECT_EQ(menuModifierText(std::numeric_limits<std::int64_t>::min()), std::nullopt);

    for (const nlohmann::json& c : file.at("cases")) {
        SCOPED_TRACE(c.at("name").get<std::string>());
        nlohmann::json app = {{"processIdentifier", kPid}};
        app["menuBar"] =
            c.contains("menus") ? nlohmann::json{{"AXChildren", c["menus"]}} : c.at("menuBar");
        if (c.contains("applicationErrors")) {
            app["AXErrors"] = c["applicationErrors"];
        }
        const nlohmann::json desktop = {{"applications", {app}},
                                        {"trusted", c.value("trusted", true)}};
        std::string error;
        auto model = simulated::parseDesktop(desktop.dump(), error);
        ASSERT_TRUE(model) << error;
        RecordingAccessibility ax;
        ax.desktop = std::move(*model);
        markInvalid(ax.desktop.applications[0]->element->attributes["AXMenuBar"]);

        const MenuBarHarvest harvest = walkMenuBar(ax, c.value("pid", kPid));
        EXPECT_EQ(rendered(harvest.list), c.at("list").get<Lines>());
        if (c.contains("titles")) {
            EXPECT_EQ(harvest.titles, c["titles"].get<Lines>());
        }
        // The press arrays stay aligned: each element is the item of its title.
        ASSERT_EQ(harvest.elements.size(), harvest.titles.size());
        for (std::size_t i = 0; i < harvest.titles.size(); ++i) {
            const Value* title =
                std::get_if<Value>(&simNode(harvest.elements[i]).attributes.at("AXTitle"));
            EXPECT_EQ(title->asString(), harvest.titles[i]);
        }
        if (c.contains("pairs")) {
            EXPECT_EQ(harvest.pairs, testing::pairsOf(c["pairs"]));
        }
        EXPECT_EQ(harvest.timedOut, c.value("timedOut", false));
        if (c.contains("lastCall")) {
            EXPECT_EQ(ax.calls.back().second, c["lastCall"].get<std::string>());
        }
        // Every element gets the timeout before the first call on it.
        std::set<const AXUIElement*> limited;
        for (const auto& [element, call] : ax.calls) {
            if (call == "timeout") {
                limited.insert(element);
            } else {
                EXPECT_TRUE(limited.contains(element)) << call;
            }
        }
    }
}

MenuBarHarvest walk(RecordingAccessibility& ax, const std::vector<SimulatedElementRef>& menus) {
    ax.addApplication(kPid, menus);
    return walkMenuBar(ax, kPid);
}
Lines sheet(const std::vector<SimulatedElementRef>& menus) {
    RecordingAccessibility ax;
    return rendered(walk(ax, menus).list);
}
std::vector<SimulatedElementRef> commandItems(int count, const std::string& prefix) {
    std::vector<SimulatedElementRef> items;
    for (int i = 0; i < count; ++i) {
        items.push_back(menuItem(prefix + std::to_string(i), "A"));
    }
    return items;
}

TEST(MenuBarWalker, LeftoversOfThePopBudgetAreWalkedUnderTheNextMenu) {
    // 1000 pops: the top-level item, its menu, then 998 items; the rest go on under "Next".
    Lines list = sheet(
        {topLevelMenu("Big", commandItems(1200, "b")), topLevelMenu("Next", {menuItem("N", "N")})});
    ASSERT_EQ(list.size(), 1U + 998 + 1 + 202 + 1 + 1);
    EXPECT_EQ(
        (Lines{list[998], list[999], list[1000], list[1202]}),
        (Lines{"Big | b997 | ⌘ | A | ", "Next", "Next | b998 | ⌘ | A | ", "Next | N | ⌘ | N | "}));

    // Set aside with the submenu title: the next menu's own items, met while "Z" is still set
    // aside, stay under it; its header was written already.
    list = sheet(
        {topLevelMenu("Big", {submenu("Recent", commandItems(1100, "r")), menuItem("Z", "Z")}),
         topLevelMenu("Next", {menuItem("N", "N")})});
    ASSERT_EQ(list.size(), 2U + 996 + 1 + 104 + 2 + 1);
    EXPECT_EQ((Lines{list[1], list[997], list[998], list[999], list[1103], list[1104]}),
              (Lines{"Big/Recent", "Big/Recent | r995 | ⌘ | A | ", "Next",
                     "Next/Recent | r996 | ⌘ | A | ", "Next/Recent | N | ⌘ | N | ",
                     "Next | Z | ⌘ | Z | "}));

    // Children that are not elements cost their place in the budget.
    SimulatedElementRef holder = menu(std::nullopt, {});
    holder->children.assign(998, AXValue(Value(0)));
    holder->children.emplace_back(AXUIElementRef(menuItem("X", "X")));
    EXPECT_EQ(sheet({menu("Big", {holder}), topLevelMenu("Next", {})}),
              (Lines{"Next", "Next | X | ⌘ | X | ", "Next"}));
}

TEST(MenuBarWalker, AnElementQueuedTwiceIsVisitedOnce) {
    SimulatedElementRef a = menuItem("A", "A");
    SimulatedElementRef items = menu(std::nullopt, {a, menuItem("B", "B"), a});
    items->children.emplace_back(AXUIElementRef());  // a null handle is skipped
    EXPECT_EQ(sheet({menu("File", {items})}),
              (Lines{"File", "File | A | ⌘ | A | ", "File | B | ⌘ | B | "}));

    // ...but taking it off the queue does not take it out of the set-aside list.
    EXPECT_EQ(sheet({topLevelMenu("File", {submenu("S", {a}), a})}),
              (Lines{"File", "File/S", "File/S | A | ⌘ | A | ", "File | A | ⌘ | A | "}));

    // An entry that left before its queue was set aside does not come back with it: the
    // set-aside list is empty, so the menu of "S" sets aside again and clears the title.
    EXPECT_EQ(sheet({topLevelMenu("File", {a, submenu("S", {menuItem("S1", "1")}), a})}),
              (Lines{"File", "File | A | ⌘ | A | ", "File | S1 | ⌘ | 1 | "}));
}

TEST(MenuBarWalker, CyclesAndHugeMenusStayWithinTheBudgets) {
    // A menu that holds itself: each round takes it off and queues it again with its item.
    SimulatedElementRef loop = menu(std::nullopt, {menuItem("A", "A")});
    loop->children.emplace_back(AXUIElementRef(loop));
    RecordingAccessibility own;
    MenuBarHarvest harvest = walk(own, {menu("File", {loop})});
    EXPECT_EQ(harvest.titles.size(), 499U);  // the top-level item, then 500 menus, 499 items
    loop->children.clear();                  // the tree owns itself: break the cycle to free it

    // 100,000 items fill every later budget; the later menus' own items are never reached,
    // and no more children are asked for than could still be visited.
    std::vector<SimulatedElementRef> items = commandItems(3'000, "h");
    items.resize(100'000);  // beyond the budgets: bare elements, cheaper to build
    std::generate(items.begin() + 3'000, items.end(),
                  [] { return std::make_shared<SimulatedElement>(); });
    RecordingAccessibility huge;
    harvest = walk(
        huge, {topLevelMenu("Huge", std::move(items)), topLevelMenu("Two", {menuItem("T", "T")}),
               topLevelMenu("Three", {menuItem("R", "R")})});
    EXPECT_EQ(harvest.titles.size(), 998U + 1000 + 1000);
    EXPECT_EQ(rendered(harvest.list).back(), "Two");
    EXPECT_EQ(harvest.titles.back(), "h2997");
    EXPECT_LE(huge.largestCopy, 3 * kMenuPopBudget);
}

}  // namespace
}  // namespace kivora
