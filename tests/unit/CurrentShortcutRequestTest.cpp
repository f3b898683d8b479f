// "GetCurrentShortcut" through the launched delegate: the harvest, its lines, its reply, the
// press arrays and the pairs kept since launch.
#include <gtest/gtest.h>

#include "LaunchedDelegate.h"
#include "ShortcutTestSupport.h"

namespace kivora {
namespace {

using fake::menuItem;
using fake::SimulatedElementRef;
using fake::submenu;
using testing::Lines;
const std::string kCountLine = "子程序中获取的当前程序快捷键个数：";

struct Helper : testing::LaunchedDelegate {
    // The list of the last post, checked for its envelope.
    Lines currentReply() const {
        const auto& post = fakes.center.posts.back();
        EXPECT_EQ(post.name, "GetCurrentShortcutResponse");
        EXPECT_EQ(post.object, testing::kMainAppId);
        EXPECT_TRUE(post.deliverImmediately);
        EXPECT_EQ(post.userInfo.size(), 1U);
        auto list = post.userInfo.find("currentShortcut");
        return list != post.userInfo.end() && list->second.array() != nullptr
                   ? testing::rendered(*list->second.array())
                   : Lines{"<no list>"};
    }
};

TEST(CurrentShortcutRequest, HarvestedAnsweredPressedAndForgottenWithItsTarget) {
    Helper helper;
    helper.post("GetCurrentShortcut");  // no target: still the pause, and an empty answer
    EXPECT_EQ(helper.fakes.console.lines.back(), kCountLine + "0");
    EXPECT_EQ(helper.currentReply(), Lines{});

    SimulatedElementRef quit = menuItem("Quit Editor", "Q");
    SimulatedElementRef fresh = menuItem("New", "N");
    SimulatedElementRef save = menuItem("Save", "S", 0);
    helper.fakes.accessibility.addApplication(
        4242, {submenu("Apple", {menuItem("About Editor", std::nullopt)}),
               submenu("Editor", {submenu("Services", {menuItem("Note", "Y", 1)}), quit}),
               submenu("File", {fresh, submenu("Open Recent", {}), save})});
    auto& delegate = helper.delegate;
    delegate.previousActiveApplication = helper.fakes.workspace.addApplication("com.e.A", 4242);
    helper.fakes.console.lines.clear();
    helper.post("GetCurrentShortcut");

    EXPECT_EQ(helper.fakes.workspace.frontmostApplication(), delegate.previousActiveApplication)
        << "activated";
    EXPECT_EQ(helper.fakes.runLoop.sleeps, (std::vector<double>{0.05, 0.05}));
    EXPECT_EQ(helper.fakes.console.lines,
              (Lines{helper.fakes.runLoop.currentThreadDescription(), "Editor", kCountLine + "6"}));
    EXPECT_EQ(helper.currentReply(),
              (Lines{"Editor", "Editor | Quit Editor | ⌘ | Q | ", "File", "File | New | ⌘ | N | ",
                     "File | Save | ⌘ | S | ", "Editor"}));
    EXPECT_EQ(delegate.currentElementArr, (std::vector<AXUIElementRef>{quit, fresh, save}));
    EXPECT_EQ(delegate.currentKeyCodeAndFlagsArr,
              (std::vector<KeyCodeAndFlags>{{12, 0}, {45, 0}, {1, 0}}));

    helper.post("tellHelperToCurrentClickted:Save");
    EXPECT_EQ(helper.fakes.accessibility.pressed, std::vector<const AXUIElement*>{save.get()});
    EXPECT_EQ(helper.fakes.center.posts.size(), 2U);  // a press is not answered

    // The target quits: the next walk finds nothing, and its items are gone with it.
    helper.fakes.accessibility.desktop.application(4242)->running = false;
    helper.post("GetCurrentShortcut");
    EXPECT_EQ(helper.currentReply(), Lines{});
    EXPECT_TRUE(delegate.currentShortTitle.empty());
    EXPECT_TRUE(delegate.currentElementArr.empty());
    EXPECT_EQ(delegate.currentKeyCodeAndFlagsArr.size(), 3U);
}

}  // namespace
}  // namespace kivora
