#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "unit/LaunchedDelegate.h"

namespace kivora::testing {
namespace {

using Lines = std::vector<std::string>;

const std::string kEnabled = "已开启辅助功能";
const std::string kNotEnabled = "没有开启辅助功能";
const std::string kPromptTrue = "accessEnabled: true";
const std::string kPromptFalse = "accessEnabled: false";

struct Permission : LaunchedDelegate {
    explicit Permission(bool trusted) { fakes.accessibility.desktop.trusted = trusted; }

    void request() { post("AccessibilityStatus", std::nullopt); }
    void advance(double seconds) { fakes.runLoop.advance(seconds); }

    // The lines written since the last call.
    Lines newLines() {
        Lines out(fakes.console.lines.begin() + static_cast<std::ptrdiff_t>(seen_),
                  fakes.console.lines.end());
        seen_ = fakes.console.lines.size();
        return out;
    }
    std::size_t replies() const { return fakes.center.posts.size(); }
    std::size_t timers() const { return fakes.runLoop.validTimerCount(); }

private:
    std::size_t seen_ = 0;
};

void expectEnabledReply(const fake::FakeNotificationCenter::Post& post) {
    EXPECT_EQ(post.name, "AccessibilityStatusResponse");
    EXPECT_EQ(post.object, std::nullopt);
    EXPECT_EQ(post.userInfo, (Dictionary{{"isEnabled", true}}));
    EXPECT_TRUE(post.deliverImmediately);
}

TEST(AccessibilityPermission, AlreadyTrustedRepliesAtOnceAndStopsPolling) {
    Permission p(/*trusted=*/true);
    p.request();
    EXPECT_EQ(p.newLines(), (Lines{kEnabled, kPromptTrue}));
    ASSERT_EQ(p.replies(), 1u);
    expectEnabledReply(p.fakes.center.posts[0]);
    EXPECT_EQ(p.timers(), 0u);
    EXPECT_EQ(p.delegate.timer, nullptr);
    EXPECT_EQ(p.fakes.accessibility.desktop.promptCount, 0);
    EXPECT_FALSE(p.delegate.isPopupShown);

    p.advance(60);
    EXPECT_TRUE(p.newLines().empty());
    EXPECT_EQ(p.replies(), 1u);
    // A request after a reply is answered again at once.
    p.request();
    EXPECT_EQ(p.newLines(), (Lines{kEnabled, kPromptTrue}));
    ASSERT_EQ(p.replies(), 2u);
    expectEnabledReply(p.fakes.center.posts[1]);
    EXPECT_EQ(p.timers(), 0u);
}

TEST(AccessibilityPermission, UntrustedPromptsOncePollsEveryFiveSecondsAndRepliesWhenGranted) {
    Permission p(/*trusted=*/false);
    p.request();
    EXPECT_EQ(p.newLines(), (Lines{kNotEnabled, kPromptFalse}));
    EXPECT_EQ(p.replies(), 0u);
    EXPECT_EQ(p.timers(), 1u);
    EXPECT_EQ(p.fakes.accessibility.desktop.promptCount, 1);
    EXPECT_TRUE(p.delegate.isPopupShown);

    p.advance(4.9);  // the first tick comes five seconds after the request
    EXPECT_TRUE(p.newLines().empty());
    p.advance(0.1);
    EXPECT_EQ(p.newLines(), (Lines{kNotEnabled}));
    p.advance(10);
    EXPECT_EQ(p.newLines(), (Lines{kNotEnabled, kNotEnabled}));
    EXPECT_EQ(p.replies(), 0u);
    EXPECT_EQ(p.fakes.accessibility.desktop.promptCount, 1);

    p.advance(2);  // t = 17
    p.fakes.accessibility.desktop.trusted = true;
    p.advance(2.9);
    EXPECT_TRUE(p.newLines().empty());
    p.advance(0.1);  // the tick at t = 20
    EXPECT_EQ(p.newLines(), (Lines{kEnabled, kPromptTrue}));
    ASSERT_EQ(p.replies(), 1u);
    expectEnabledReply(p.fakes.center.posts[0]);
    EXPECT_EQ(p.timers(), 0u);
    EXPECT_EQ(p.delegate.timer, nullptr);

    p.advance(60);
    EXPECT_TRUE(p.newLines().empty());
    EXPECT_EQ(p.replies(), 1u);
    EXPECT_EQ(p.fakes.accessibility.desktop.promptCount, 1);
}

TEST(AccessibilityPermission, ASecondRequestWhilePollingRestartsTheOneTimer) {
    Permission p(/*trusted=*/false);
    p.request();
    p.advance(3);
    p.request();
    EXPECT_EQ(p.timers(), 1u);
    // The second check does not prompt again.
    EXPECT_EQ(p.newLines(), (Lines{kNotEnabled, kPromptFalse, kNotEnabled}));
    p.advance(4.9);  // t = 7.9: the first timer would have ticked at 5
    EXPECT_TRUE(p.newLines().empty());
    p.advance(0.1);  // t = 8: five seconds after the second request
    EXPECT_EQ(p.newLines(), (Lines{kNotEnabled}));
    p.advance(5);
    EXPECT_EQ(p.newLines(), (Lines{kNotEnabled}));
    EXPECT_EQ(p.timers(), 1u);
}

TEST(AccessibilityPermission, TheSystemPromptIsRequestedOncePerProcess) {
    Permission p(/*trusted=*/false);
    p.request();
    p.advance(12);
    p.request();
    p.advance(12);
    EXPECT_EQ(p.fakes.accessibility.desktop.promptCount, 1);
    Lines lines = p.newLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kPromptFalse), 1);

    // Granted, answered, withdrawn and asked again: still no second prompt.
    p.fakes.accessibility.desktop.trusted = true;
    p.advance(5);
    ASSERT_EQ(p.replies(), 1u);
    p.fakes.accessibility.desktop.trusted = false;
    p.request();
    EXPECT_EQ(p.newLines().back(), kNotEnabled);
    EXPECT_EQ(p.fakes.accessibility.desktop.promptCount, 1);
    EXPECT_EQ(p.timers(), 1u);
}

}  // namespace
}  // namespace kivora::testing
