// "GetCurrentShortcut" and "GetSystemShortcut" through the launched delegate: the harvest, its
// lines, its replies, the press arrays and the pairs kept since launch.
#include <gtest/gtest.h>

#include "LaunchedDelegate.h"
#include "ShortcutTestSupport.h"

namespace kivora {
namespace {

using fake::menuItem;
using fake::SimulatedElementRef;
using fake::submenu;
using fake::topLevelMenu;
using testing::Lines;
const std::string kCountLine = "子程序中获取的当前程序快捷键个数：";

struct Helper : testing::LaunchedDelegate {
    void target(std::int32_t pid, const std::vector<SimulatedElementRef>& menus) {
        fakes.accessibility.addApplication(pid, menus);
        delegate.previousActiveApplication =
            fakes.workspace.addApplication("com.example.App" + std::to_string(pid), pid);
    }
    // The list of the post at `index`, checked for its envelope.
    Lines replied(const std::string& name, const std::string& key, std::size_t index) const {
        const auto& post = fakes.center.posts.at(index);
        EXPECT_EQ(post.name, name);
        EXPECT_EQ(post.object, testing::kMainAppId);
        EXPECT_TRUE(post.deliverImmediately);
        EXPECT_EQ(post.userInfo.size(), 1U);
        auto list = post.userInfo.find(key);
        return list != post.userInfo.end() && list->second.array() != nullptr
                   ? testing::rendered(*list->second.array())
                   : Lines{"<no list>"};
    }
    Lines currentReply() const {
        return replied("GetCurrentShortcutResponse", "currentShortcut",
                       fakes.center.posts.size() - 1);
    }
};

TEST(CurrentShortcutRequest, ExampleMenuBarIsHarvestedAnsweredAndPressed) {
    Helper helper;
    SimulatedElementRef quit = menuItem("Quit Editor", "Q");
    SimulatedElementRef fresh = menuItem("New", "N");
    SimulatedElementRef save = menuItem("Save", "S", 0);
    helper.target(4242,
                  {topLevelMenu("Apple", {menuItem("About Editor", std::nullopt)}),
                   topLevelMenu("Editor", {submenu("Services", {menuItem("Note", "Y", 1)}), quit}),
                   topLevelMenu("File", {fresh, submenu("Open Recent", {}), save})});
    helper.post("GetCurrentShortcut");

    EXPECT_EQ(helper.fakes.workspace.frontmostApplication(),
              helper.delegate.previousActiveApplication)
        << "activated";
    EXPECT_EQ(helper.fakes.runLoop.sleeps, (std::vector<double>{0.05}));
    EXPECT_EQ(helper.fakes.console.lines,
              (Lines{helper.fakes.runLoop.currentThreadDescription(), "Editor", kCountLine + "6"}));
    ASSERT_EQ(helper.fakes.center.posts.size(), 1U);
    EXPECT_EQ(helper.currentReply(),
              (Lines{"Editor", "Editor | Quit Editor | ⌘ | Q | ", "File", "File | New | ⌘ | N | ",
                     "File | Save | ⌘ | S | ", "Editor"}));
    EXPECT_EQ(helper.delegate.currentElementArr, (std::vector<AXUIElementRef>{quit, fresh, save}));

    helper.fakes.console.lines.clear();
    helper.post("tellHelperToCurrentClickted:Save");
    EXPECT_EQ(helper.fakes.console.lines, (Lines{"点击了: Save", "成功执行点击操作"}));
    EXPECT_EQ(helper.fakes.accessibility.pressCount(save), 1);
    EXPECT_EQ(helper.fakes.center.posts.size(), 1U);  // a press is not answered
}

TEST(CurrentShortcutRequest, EachWalkReplacesThePressArraysAndAddsPairs) {
    Helper helper;
    helper.post("GetCurrentShortcut");  // no target: still the pause, and an empty answer
    EXPECT_EQ(helper.fakes.runLoop.sleeps, (std::vector<double>{0.05}));
    EXPECT_EQ(helper.fakes.console.lines.back(), kCountLine + "0");
    EXPECT_EQ(helper.currentReply(), Lines{});

    helper.target(1, {topLevelMenu("File", {menuItem("Save", "S")})});
    helper.post("GetCurrentShortcut");
    helper.target(2, {topLevelMenu("Edit", {menuItem("Copy", "C", 1)}),
                      topLevelMenu("Second", {menuItem("Hide", "H")})});
    helper.post("GetCurrentShortcut");
    EXPECT_EQ(helper.delegate.currentShortTitle, (Lines{"Copy", "Hide"}));
    EXPECT_EQ(helper.delegate.currentElementArr.size(), 2U);
    EXPECT_EQ(helper.delegate.currentKeyCodeAndFlagsArr,
              (std::vector<KeyCodeAndFlags>{{1, 0}, {8, 1}, {4, 0}}));

    // The target quits: the next walk finds nothing, and its items are gone with it.
    helper.fakes.accessibility.desktop.application(2)->running = false;
    helper.post("GetCurrentShortcut");
    EXPECT_EQ(helper.currentReply(), Lines{});
    EXPECT_TRUE(helper.delegate.currentShortTitle.empty());
    EXPECT_TRUE(helper.delegate.currentElementArr.empty());
    EXPECT_EQ(helper.delegate.currentKeyCodeAndFlagsArr.size(), 3U);
}

Value pairsValue(std::initializer_list<std::pair<std::int64_t, std::int64_t>> pairs) {
    Array out;
    for (auto [keyCode, flags] : pairs) {
        out.push_back(Dictionary{{"keyCode", keyCode}, {"flags", flags}});
    }
    return out;
}

TEST(SystemShortcutRequest, PostsTheListThenEveryPairSinceLaunch) {
    Helper app;
    app.target(42, {topLevelMenu("File", {menuItem("Save", "S", 0)})});
    auto setHotKey = [&](std::int64_t keyCode, std::int64_t mask) {
        app.fakes.preferences.stored["com.apple.symbolichotkeys"] = Dictionary{
            {"AppleSymbolicHotKeys",
             Dictionary{{"64", Dictionary{{"enabled", true},
                                          {"value", Dictionary{{"parameters",
                                                                Array{65535, keyCode, mask}}}}}}}}};
    };
    setHotKey(49, 0x100000);
    app.post("GetSystemShortcut");
    const auto& posts = app.fakes.center.posts;
    ASSERT_EQ(posts.size(), 2U);
    EXPECT_EQ(app.replied("getSystemShortcutResponse", "systemShortcut", 0),
              (Lines{"Spotlight", "Spotlight//Show Spotlight search | ⌘ | SPACE",
                     "Spotlight//Show Finder search window | ⌘ | SPACE"}));
    EXPECT_EQ(posts[1].name, "GetKeyCodeAndFlagsArr");
    EXPECT_EQ(posts[1].object, testing::kMainAppId);
    EXPECT_TRUE(posts[1].deliverImmediately);
    EXPECT_EQ(
        Value(posts[1].userInfo),
        Value(Dictionary{{"keyCodeAndFlagsArrData", pairsValue({{49, 0x100000}, {49, 0x100000}})},
                         {"currentKeyCodeAndFlagsArrData", pairsValue({{1, 0}})}}));
    EXPECT_EQ(std::count(app.fakes.console.lines.begin(), app.fakes.console.lines.end(),
                         "Kivora---已获取到了所有快捷键-----"),
              1);
    EXPECT_EQ(app.delegate.currentShortTitle, Lines{"Save"});  // menus walked too

    // The preferences are read afresh; the second request's pairs follow the first's in both
    // arrays, its list is its own.
    setHotKey(0, 0x40000);
    app.post("GetSystemShortcut");
    ASSERT_EQ(posts.size(), 4U);
    EXPECT_EQ(posts[2].userInfo.at("systemShortcut").asArray().size(), 3U);
    EXPECT_EQ(
        Value(posts[3].userInfo),
        Value(Dictionary{{"keyCodeAndFlagsArrData",
                          pairsValue({{49, 0x100000}, {49, 0x100000}, {0, 0x40000}, {0, 0x40000}})},
                         {"currentKeyCodeAndFlagsArrData", pairsValue({{1, 0}, {1, 0}})}}));

    // Empty lists are posted too; other names are ignored.
    app.fakes.preferences.stored.clear();
    app.post("GetSystemShortcut");
    EXPECT_EQ(app.replied("getSystemShortcutResponse", "systemShortcut", 4), Lines{});
    app.post("getSystemShortcut");
    EXPECT_EQ(posts.size(), 6U);
}

}  // namespace
}  // namespace kivora
