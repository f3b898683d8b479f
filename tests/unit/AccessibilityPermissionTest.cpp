#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/LaunchedDelegate.h"

namespace kivora::testing {
namespace {

using Lines = std::vector<std::string>;

const std::string E = "已开启辅助功能";
const std::string N = "没有开启辅助功能";
const std::string T = "accessEnabled: true";
const std::string F = "accessEnabled: false";

// One step of a permission story and the state after it: the lines written by the step, the
// replies and live timers so far, and the system prompts shown so far.
struct Step {
    std::string action;  // "request", "trust", "distrust" or seconds to wait
    Lines lines;
    std::size_t replies;
    std::size_t timers;
    std::uint32_t prompts;
};

void run(bool trusted, const std::vector<Step>& steps) {
    LaunchedDelegate h;
    auto& desktop = h.fakes.accessibility.desktop;
    desktop.trusted = trusted;
    std::size_t seen = 0;
    double now = 0;
    for (const auto& s : steps) {
        if (s.action == "request") {
            h.post("AccessibilityStatus", std::nullopt);
        } else if (s.action == "trust" || s.action == "distrust") {
            desktop.trusted = s.action == "trust";
        } else {
            h.fakes.runLoop.advance(std::stod(s.action));
            now += std::stod(s.action);
        }
        const auto& all = h.fakes.console.lines;
        SCOPED_TRACE(s.action + " at t=" + std::to_string(now));
        EXPECT_EQ(Lines(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end()), s.lines);
        seen = all.size();
        EXPECT_EQ(h.fakes.center.posts.size(), s.replies);
        EXPECT_EQ(h.fakes.runLoop.validTimerCount(), s.timers);
        EXPECT_EQ(h.delegate.timer != nullptr, s.timers > 0);
        EXPECT_EQ(desktop.promptCount, s.prompts);
        EXPECT_EQ(h.delegate.isPopupShown, s.prompts > 0);
    }
    for (const auto& post : h.fakes.center.posts) {
        EXPECT_EQ(post.name, "AccessibilityStatusResponse");
        EXPECT_EQ(post.object, std::nullopt);
        EXPECT_EQ(post.userInfo, (Dictionary{{"isEnabled", true}}));
        EXPECT_TRUE(post.deliverImmediately);
    }
}

TEST(AccessibilityPermission, AlreadyTrustedRepliesAtOnceEveryTimeWithoutPolling) {
    run(true, {{"request", {E, T}, 1, 0, 0}, {"60", {}, 1, 0, 0}, {"request", {E, T}, 2, 0, 0}});
}

TEST(AccessibilityPermission, UntrustedPromptsOncePollsEveryFiveSecondsAndRepliesWhenGranted) {
    run(false, {
                   {"request", {N, F}, 0, 1, 1},
                   {"4.9", {}, 0, 1, 1},  // the first tick comes five seconds after
                   {"0.1", {N}, 0, 1, 1},
                   {"10", {N, N}, 0, 1, 1},
                   {"2", {}, 0, 1, 1},
                   {"trust", {}, 0, 1, 1},
                   {"2.9", {}, 0, 1, 1},
                   {"0.1", {E, T}, 1, 0, 1},  // the tick at t = 20
                   {"60", {}, 1, 0, 1},
               });
}

TEST(AccessibilityPermission, ASecondRequestRestartsTheOneTimerAndNeverPromptsAgain) {
    run(false, {
                   {"request", {N, F}, 0, 1, 1},
                   {"3", {}, 0, 1, 1},
                   {"request", {N}, 0, 1, 1},
                   {"4.9", {}, 0, 1, 1},   // the first timer would have ticked at 5
                   {"0.1", {N}, 0, 1, 1},  // five seconds after the second request
                   {"5", {N}, 0, 1, 1},
                   {"12", {N, N}, 0, 1, 1},
                   // Granted, answered, withdrawn and asked again: still no second prompt.
                   {"trust", {}, 0, 1, 1},
                   {"5", {E, T}, 1, 0, 1},
                   {"distrust", {}, 1, 0, 1},
                   {"request", {N}, 1, 1, 1},
               });
}

}  // namespace
}  // namespace kivora::testing
