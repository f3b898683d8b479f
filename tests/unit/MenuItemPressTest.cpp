// Pressing a stored menu item on a "tellHelperToCurrentClickted:" request.
#include <gtest/gtest.h>

#include "execute/MenuItemPress.h"
#include "fakes/FakeConsole.h"
#include "fakes/TestAccessibility.h"
#include "menubar/MenuBarWalker.h"

namespace kivora {
namespace {

using Lines = std::vector<std::string>;

const std::string kPrefix = "tellHelperToCurrentClickted:";
const std::string kClicked = "点击了: ";
const std::string kDone = "成功执行点击操作";
const std::string kNotFound = "无法找到指定的键值";

// The press arrays of a harvest: one menu item per title.
struct StoredItems {
    fake::TestAccessibility accessibility;
    fake::FakeConsole console;
    Lines titles;
    std::vector<AXUIElementRef> elements;
    std::vector<fake::SimulatedElementRef> items;

    explicit StoredItems(Lines stored) : titles(std::move(stored)) {
        for (const auto& title : titles) {
            items.push_back(fake::menuItem(title, "A"));
            elements.emplace_back(items.back());
        }
        accessibility.addApplication(1, items);
    }
    // The log lines of one request.
    Lines press(const std::string& name) {
        console.lines.clear();
        pressMenuItem(name, titles, elements, accessibility, console);
        return console.lines;
    }
};

TEST(MenuItemPress, PressesTheFirstEqualTitle) {
    StoredItems stored({"New", "Copy", "Copy", "Caf\xC3\xA9"});

    EXPECT_EQ(stored.press(kPrefix + "Copy"), (Lines{kClicked + "Copy", kDone}));
    // Canonically equal: a decomposed request presses the precomposed title.
    EXPECT_EQ(stored.press(kPrefix + "Cafe\xCC\x81"), (Lines{kClicked + "Cafe\xCC\x81", kDone}));
    EXPECT_EQ(stored.items[1]->messagingTimeout, kAccessibilityMessagingTimeout);

    // No folding, trimming or prefix match; names that are not a click request.
    for (const std::string& name :
         {kPrefix + "copy", kPrefix + "Copy ", kPrefix + "Cop", kPrefix, std::string("Copy"),
          "x" + kPrefix + "Copy", std::string("tellHelperToCurrentClicktedCopy")}) {
        EXPECT_EQ(stored.press(name), Lines{}) << name;
    }
    EXPECT_EQ(stored.accessibility.pressed,
              (std::vector<const AXUIElement*>{stored.items[1].get(), stored.items[3].get()}));
}

TEST(MenuItemPress, TitlesBeyondTheElementList) {
    StoredItems stored({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"});
    stored.elements.resize(10);

    EXPECT_EQ(stored.press(kPrefix + "11"), (Lines{kNotFound, kNotFound}));
    EXPECT_EQ(stored.press(kPrefix + "9"), (Lines{kClicked + "9", kDone}));
    EXPECT_EQ(stored.accessibility.pressed.size(), 1U);
}

}  // namespace
}  // namespace kivora
