// "GetCurrentShortcut" through the launched delegate: the harvest, its reply, the press arrays
// and the pairs kept since launch.
#include <gtest/gtest.h>

#include "LaunchedDelegate.h"

namespace kivora {
namespace {

using fake::menuItem;
using fake::SimulatedElementRef;
using fake::submenu;

// The reply to the last request: its list alone, to go at once.
void expectEmptyReply(const testing::LaunchedDelegate& helper) {
    const auto& post = helper.fakes.center.posts.back();
    EXPECT_EQ(post.name, "GetCurrentShortcutResponse");
    EXPECT_TRUE(post.deliverImmediately);
    EXPECT_EQ(Value(post.userInfo), Value(Dictionary{{"currentShortcut", Array{}}}));
}

TEST(CurrentShortcutRequest, HarvestedAnsweredPressedAndForgottenWithItsTarget) {
    testing::LaunchedDelegate helper;
    helper.post("GetCurrentShortcut");  // no target: still the pause, and an empty answer
    expectEmptyReply(helper);

    // The lines and the list of a harvest are the end-to-end scenarios'; here what they
    // cannot see: the activation, the pause and the press arrays.
    SimulatedElementRef quit = menuItem("Quit Editor", "Q");
    SimulatedElementRef save = menuItem("Save", "S", 0);
    helper.fakes.accessibility.addApplication(
        4242, {submenu("Editor", {quit}), submenu("File", {menuItem("Open", std::nullopt), save})});
    auto& delegate = helper.delegate;
    delegate.previousActiveApplication = helper.fakes.workspace.addApplication("com.e.A", 4242);
    helper.post("GetCurrentShortcut");

    EXPECT_EQ(helper.fakes.workspace.frontmostApplication(), delegate.previousActiveApplication)
        << "activated";
    EXPECT_EQ(helper.fakes.runLoop.sleeps, (std::vector<double>{0.05, 0.05}));
    EXPECT_EQ(delegate.currentElementArr, (std::vector<AXUIElementRef>{quit, save}));

    helper.post("tellHelperToCurrentClickted:Save");
    EXPECT_EQ(helper.fakes.accessibility.pressed, std::vector<const AXUIElement*>{save.get()});
    EXPECT_EQ(helper.fakes.center.posts.size(), 2U);  // a press is not answered

    // The target quits: the next walk finds nothing, and its items are gone with it.
    helper.fakes.accessibility.desktop.application(4242)->running = false;
    helper.post("GetCurrentShortcut");
    expectEmptyReply(helper);
    EXPECT_TRUE(delegate.currentShortTitle.empty());
    EXPECT_TRUE(delegate.currentElementArr.empty());
    EXPECT_EQ(delegate.currentKeyCodeAndFlagsArr.size(), 2U);  // the pairs stay
}

}  // namespace
}  // namespace kivora
