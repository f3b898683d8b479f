// "GetCurrentShortcut" through the delegate: the harvest, its lines, its reply, then a press.
#include <gtest/gtest.h>

#include "MenuBarWalkerTestSupport.h"
#include "app/AppDelegate.h"
#include "fakes/FakePlatform.h"

namespace kivora {
namespace {

using fake::menuItem;
using fake::SimulatedElementRef;
using fake::submenu;
using fake::topLevelMenu;
using testing::Lines;

const std::string kCountLine = "子程序中获取的当前程序快捷键个数：";

struct Helper {
    fake::FakePlatform fakes;
    AppDelegate delegate{fakes.platform()};

    Helper() { delegate.applicationDidFinishLaunching(); }

    std::shared_ptr<fake::FakeRunningApplication> target(std::int32_t pid,
                                                         std::vector<SimulatedElementRef> menus) {
        fakes.accessibility.addApplication(pid, std::move(menus));
        auto app = fakes.workspace.addApplication("com.example.App" + std::to_string(pid), pid);
        delegate.previousActiveApplication = app;
        return app;
    }
    void post(const std::string& name) {
        fakes.center.deliver(name, std::string("org.morvane.Kivora.KivoraData"));
    }
    // The list of the last reply.
    Lines replied() const {
        const auto& post = fakes.center.posts.back();
        EXPECT_EQ(post.name, "GetCurrentShortcutResponse");
        EXPECT_EQ(post.object, "org.morvane.Kivora");
        EXPECT_TRUE(post.deliverImmediately);
        EXPECT_EQ(post.userInfo.size(), 1U);
        auto list = post.userInfo.find("currentShortcut");
        return list != post.userInfo.end() && list->second.array() != nullptr
                   ? testing::rendered(*list->second.array())
                   : Lines{"<no list>"};
    }
};

TEST(CurrentShortcutRequest, ExampleMenuBarIsHarvestedAnsweredAndPressed) {
    Helper helper;
    SimulatedElementRef quit = menuItem("Quit Editor", "Q");
    SimulatedElementRef fresh = menuItem("New", "N");
    SimulatedElementRef save = menuItem("Save", "S", 0);
    auto app = helper.target(
        4242, {topLevelMenu("Apple", {menuItem("About Editor", std::nullopt)}),
               topLevelMenu("Editor", {submenu("Services", {menuItem("Note", "Y", 1)}), quit}),
               topLevelMenu(
                   "File",
                   {fresh, submenu("Open Recent", {menuItem("Clear Menu", std::nullopt)}), save})});

    helper.post("GetCurrentShortcut");

    EXPECT_EQ(helper.fakes.workspace.frontmostApplication(), app) << "activated";
    EXPECT_EQ(helper.fakes.runLoop.sleeps, (std::vector<double>{0.05}));
    EXPECT_EQ(helper.fakes.console.lines,
              (Lines{helper.fakes.runLoop.currentThreadDescription(), "Editor", kCountLine + "6"}));
    ASSERT_EQ(helper.fakes.center.posts.size(), 1U);
    EXPECT_EQ(helper.replied(),
              (Lines{"Editor", "Editor | Quit Editor | ⌘ | Q | ", "File", "File | New | ⌘ | N | ",
                     "File | Save | ⌘ | S | ", "Editor"}));
    EXPECT_EQ(helper.delegate.currentShortTitle, (Lines{"Quit Editor", "New", "Save"}));
    EXPECT_EQ(helper.delegate.currentElementArr, (std::vector<AXUIElementRef>{quit, fresh, save}));
    EXPECT_EQ(helper.delegate.currentKeyCodeAndFlagsArr,
              (std::vector<KeyCodeAndFlags>{{12, 0}, {45, 0}, {1, 0}}));

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
    EXPECT_EQ(helper.replied(), Lines{});

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
    EXPECT_EQ(helper.replied(), Lines{});
    EXPECT_TRUE(helper.delegate.currentShortTitle.empty());
    EXPECT_TRUE(helper.delegate.currentElementArr.empty());
    EXPECT_EQ(helper.delegate.currentKeyCodeAndFlagsArr.size(), 3U);
}

}  // namespace
}  // namespace kivora
