#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "unit/LaunchedDelegate.h"

namespace kivora::testing {
namespace {

using Object = std::optional<std::string>;

// Nothing the helper can do for a notification left a trace.
void expectNoEffect(const LaunchedDelegate& h, const std::string& what) {
    EXPECT_TRUE(h.fakes.center.posts.empty()) << what;
    EXPECT_TRUE(h.fakes.console.lines.empty()) << what;
    EXPECT_EQ(h.fakes.runLoop.terminateCount, 0) << what;
    EXPECT_EQ(h.fakes.runLoop.validTimerCount(), 0u) << what;
    EXPECT_EQ(h.fakes.accessibility.desktop.promptCount, 0u) << what;
    EXPECT_TRUE(h.fakes.eventTap.posted.empty()) << what;
    EXPECT_EQ(h.fakes.preferences.synchronizeCount, 0) << what;
}

TEST(Delivery, HowManyHandlersEachNameAndObjectReaches) {
    const struct {
        std::string name;
        Object object;
        int reached;
    } cases[] = {
        // Every name with the helper's object reaches the four unfiltered handlers, and the
        // two name-filtered ones as well when it is theirs.
        {"GetSystemShortcut", kHelperId, 4},
        {"TerminateSubApp", kHelperId, 5},
        {"AccessibilityStatus", kHelperId, 5},
        // Other objects, or none, reach only the permission request; objects match exactly.
        {"AccessibilityStatus", kMainAppId, 1},
        {"TerminateSubApp", kMainAppId, 0},
        {"TerminateSubApp", kHelperId + " ", 0},
        {"GetSystemShortcut", "org.morvane.kivora.kivoradata", 0},
    };
    for (const auto& c : cases) {
        LaunchedDelegate h;
        EXPECT_EQ(h.post(c.name, c.object), c.reached)
            << '"' << c.name << "\" with " << c.object.value_or("no object");
    }
}

TEST(Delivery, LaunchRepliesCaseVariantsAndStrangersDoNoWork) {
    expectNoEffect(LaunchedDelegate(), "launch");
    // clang-format off
    const std::vector<std::string> names = {
        // The helper's own replies, sent back to it.
        "AccessibilityStatusResponse", "getSystemShortcutResponse", "GetKeyCodeAndFlagsArr",
        "GetCurrentShortcutResponse",
        // Request names in another letter case or with extra characters.
        "getSystemShortcut", "accessibilityStatus", "terminateSubApp", "GetSystemShortcut ",
        std::string("GetSystemShortcut\0", 18), "", "Quit",
    };
    // clang-format on
    for (const std::string& name : names) {  // with the helper's object, which reaches most
        LaunchedDelegate h;
        h.post(name);
        expectNoEffect(h, '"' + name + '"');
    }
    // The name filters are the center's; the handlers must not rely on them alone.
    LaunchedDelegate h;
    h.delegate.handleMainAppTermination({"terminateSubApp", kHelperId, {}});
    h.delegate.handleMainAppTermination({"GetSystemShortcut", kHelperId, {}});
    h.delegate.handleAccessibilityEnabled({"AccessibilityStatusResponse", std::nullopt, {}});
    h.delegate.handleAccessibilityEnabled({"accessibilityStatus", std::nullopt, {}});
    expectNoEffect(h, "direct calls");
}

}  // namespace
}  // namespace kivora::testing
