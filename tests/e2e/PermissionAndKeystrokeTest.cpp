// The Accessibility permission and system-shortcut keystrokes end to end, on the demo desktop:
// the permission is answered only once granted, and only pairs the helper handed out are typed.

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/support/E2e.h"

namespace kivora::e2e {
namespace {

struct Pair {
    std::int64_t keyCode = 0;
    std::int64_t flags = 0;
    bool operator==(const Pair&) const = default;
};

std::vector<Pair> pairsAt(const Notification& reply, const char* key) {
    std::vector<Pair> pairs;
    const auto it = reply.userInfo.find(key);
    if (it != reply.userInfo.end() && it->second.array() != nullptr) {
        for (const Value& pair : *it->second.array()) {
            const Value* keyCode = pair.find("keyCode");
            const Value* flags = pair.find("flags");
            if (keyCode == nullptr || !keyCode->isInteger() || flags == nullptr ||
                !flags->isInteger()) {
                ADD_FAILURE() << "not a key dictionary: " << toDebugString(pair);
                continue;
            }
            pairs.push_back({keyCode->asInteger(), flags->asInteger()});
        }
    }
    return pairs;
}

std::string clickName(const Pair& pair) {
    return "tellHelperToSystemClickted:[\"" + std::to_string(pair.keyCode) + "\",\"" +
           std::to_string(pair.flags) + "\"]";
}

std::string parsedLine(const Pair& pair) {
    return "解析后的数组: [\"" + std::to_string(pair.keyCode) + "\", \"" +
           std::to_string(pair.flags) + "\"]";
}

class PermissionAndKeystroke : public ::testing::Test {
protected:
    void start(std::optional<std::string> home = std::nullopt) {
        helper = startHelper(bus, HelperOptions{{"--desktop", demoDesktop()}, std::move(home), {}});
        ASSERT_TRUE(helper);
    }

    PrivateBus bus;
    TempDir files;
    TestClient client{bus};
    std::unique_ptr<HelperProcess> helper;
};

TEST_F(PermissionAndKeystroke, UntrustedIsAnsweredOnTheTickAfterTheGrant) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(client.setTrusted(false));
    client.post("AccessibilityStatus");
    ASSERT_TRUE(client.ping());
    EXPECT_EQ(client.promptCount(), 1u);
    // Polling restarts; the prompt is not requested again.
    client.post("AccessibilityStatus", kMainAppObject);
    ASSERT_TRUE(client.ping());
    EXPECT_EQ(client.count("AccessibilityStatusResponse"), 0u);
    EXPECT_EQ(client.promptCount(), 1u);

    ASSERT_TRUE(client.setTrusted(true));
    // The next tick comes 5 s after the last request.
    auto reply = client.waitFor("AccessibilityStatusResponse", Duration(6500));
    ASSERT_TRUE(reply) << helper->describe();
    EXPECT_FALSE(reply->object);
    EXPECT_EQ(Value(reply->userInfo), Value(Dictionary{{"isEnabled", true}}));
    ASSERT_TRUE(client.ping());
    EXPECT_EQ(client.count("AccessibilityStatusResponse"), 1u);
    EXPECT_EQ(client.promptCount(), 1u);

    // Once trusted, every request is answered at once.
    client.post("AccessibilityStatus");
    EXPECT_TRUE(client.waitFor("AccessibilityStatusResponse")) << helper->describe();
    client.post("TerminateSubApp", kHelperObject);
    ASSERT_TRUE(helper->waitForExit().exitedWith(0)) << helper->describe();
    EXPECT_EQ(helper->stdoutLines(),
              (std::vector<std::string>{"没有开启辅助功能", "accessEnabled: false",
                                        "没有开启辅助功能", "已开启辅助功能", "accessEnabled: true",
                                        "已开启辅助功能", "accessEnabled: true"}))
        << helper->describe();
}

TEST_F(PermissionAndKeystroke, OnlyAnOfferedPairIsTyped) {
    ASSERT_NO_FATAL_FAILURE(start(copyDemoHome(files)));
    client.post("GetSystemShortcut", kHelperObject);
    auto pairsReply = client.waitFor("GetKeyCodeAndFlagsArr");
    ASSERT_TRUE(pairsReply) << helper->describe();
    std::vector<Pair> offered = pairsAt(*pairsReply, "keyCodeAndFlagsArrData");
    ASSERT_GE(offered.size(), 2u);
    const Pair first = offered[0];
    const auto other = std::find_if(offered.begin(), offered.end(),
                                    [&](const Pair& p) { return p.keyCode != first.keyCode; });
    ASSERT_NE(other, offered.end());
    const Pair second = *other;
    // A menu pair was handed out too, but on another scale: it types nothing.
    const std::vector<Pair> menuPairs = pairsAt(*pairsReply, "currentKeyCodeAndFlagsArrData");
    const auto refused = std::find_if(menuPairs.begin(), menuPairs.end(), [&](const Pair& p) {
        return std::find(offered.begin(), offered.end(), p) == offered.end();
    });
    ASSERT_NE(refused, menuPairs.end());

    for (const Pair& pair : {first, *refused, second}) {
        client.post(clickName(pair), kHelperObject);
    }
    ASSERT_TRUE(client.ping());
    const auto event = [](const Pair& p, bool down) {
        return KeyboardEvent{static_cast<std::uint16_t>(p.keyCode), down,
                             static_cast<std::uint64_t>(p.flags)};
    };
    const std::vector<KeyboardEvent> expected{event(first, true), event(first, false),
                                              event(second, true), event(second, false)};
    const std::vector<KeyboardEvent> events = client.keyEvents();
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].keyCode, expected[i].keyCode) << i;
        EXPECT_EQ(events[i].keyDown, expected[i].keyDown) << i;
        EXPECT_EQ(events[i].flags, expected[i].flags) << i;
    }

    // The refused pair: its parsed-array line, then exactly one line saying why.
    ASSERT_TRUE(helper->waitForLine(parsedLine(second))) << helper->describe();
    const std::vector<std::string> out = helper->stdoutLines();
    const auto at = std::find(out.begin(), out.end(), parsedLine(*refused));
    ASSERT_TRUE(at != out.end() && out.end() - at >= 3) << helper->describe();
    EXPECT_EQ(*(at + 2), parsedLine(second)) << helper->describe();
}

}  // namespace
}  // namespace kivora::e2e
