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
    std::vector<int> pressCounts() const {
        std::vector<int> counts;
        for (const auto& item : items) {
            counts.push_back(accessibility.pressCount(item));
        }
        return counts;
    }
};

TEST(MenuItemPress, PressesTheFirstEqualTitle) {
    StoredItems stored({"New", "Zoom: 100%", " 100%", "Copy", "Copy", "Caf\xC3\xA9"});

    EXPECT_EQ(stored.press(kPrefix + "Copy"), (Lines{kClicked + "Copy", kDone}));
    // The title is everything after the prefix, colons included.
    EXPECT_EQ(stored.press(kPrefix + "Zoom: 100%"), (Lines{kClicked + "Zoom: 100%", kDone}));
    // Canonically equal: a decomposed request presses the precomposed title.
    EXPECT_EQ(stored.press(kPrefix + "Cafe\xCC\x81"), (Lines{kClicked + "Cafe\xCC\x81", kDone}));
    EXPECT_EQ(stored.pressCounts(), (std::vector<int>{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(stored.items[3]->messagingTimeout, kAccessibilityMessagingTimeout);

    // No folding, trimming or prefix match; names that are not a click request.
    for (const std::string& name :
         {kPrefix + "copy", kPrefix + "Copy ", kPrefix + "Cop", kPrefix, std::string("Copy"),
          "x" + kPrefix + "Copy", std::string("tellHelperToCurrentClicktedCopy"),
          std::string("tellHelperToSystemClickted:[\"1\",\"0\"]")}) {
        EXPECT_EQ(stored.press(name), Lines{}) << name;
    }
    EXPECT_EQ(stored.accessibility.pressed.size(), 3U);
}

TEST(MenuItemPress, TitlesBeyondTheElementList) {
    Lines titles;
    for (int i = 0; i < 12; ++i) {
        titles.push_back("Item " + std::to_string(i));
    }
    StoredItems stored(titles);
    stored.elements.resize(10);

    EXPECT_EQ(stored.press(kPrefix + "Item 11"), (Lines{kNotFound, kNotFound}));
    EXPECT_EQ(stored.press(kPrefix + "Missing"), (Lines{kNotFound, kNotFound}));
    EXPECT_EQ(stored.press(kPrefix + "Item 9"), (Lines{kClicked + "Item 9", kDone}));
    EXPECT_EQ(stored.accessibility.pressed.size(), 1U);
    EXPECT_EQ(StoredItems({}).press(kPrefix + "Item 0"), Lines{});
}

TEST(MenuItemPress, AFailedPressSaysWhy) {
    StoredItems stored({"Quit", "Hung"});
    stored.items[0]->valid = false;  // the target quit
    stored.items[1]->errors["AXPress"] = kAXErrorCannotComplete;

    EXPECT_EQ(stored.press(kPrefix + "Quit"),
              (Lines{kClicked + "Quit", "点击操作失败，错误码：-25202"}));
    EXPECT_EQ(stored.press(kPrefix + "Hung"),
              (Lines{kClicked + "Hung", "点击操作失败，错误码：-25204"}));
    stored.accessibility.desktop.trusted = false;
    EXPECT_EQ(stored.press(kPrefix + "Hung"),
              (Lines{kClicked + "Hung", "点击操作失败，错误码：-25211"}));
}

}  // namespace
}  // namespace kivora
