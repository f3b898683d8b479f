// "GetSystemShortcut" through the launched delegate: both replies in order, and the pairs of
// every request since launch.
#include <gtest/gtest.h>

#include "LaunchedDelegate.h"
#include "SystemShortcutTestSupport.h"

namespace {

using namespace kivora;
using kivora::testing::kMainAppId;

Value keys(std::initializer_list<std::pair<std::int64_t, std::int64_t>> pairs) {
    Array out;
    for (auto [keyCode, flags] : pairs) {
        out.push_back(Dictionary{{"keyCode", keyCode}, {"flags", flags}});
    }
    return out;
}

TEST(SystemShortcutRequest, PostsTheListThenEveryPairSinceLaunch) {
    kivora::testing::LaunchedDelegate app;
    app.delegate.previousActiveApplication =
        app.fakes.workspace.addApplication(std::string("com.example.Editor"), 42);
    app.fakes.accessibility.addApplication(
        42, {fake::topLevelMenu("File", {fake::menuItem("Save", "S", 0)})});
    auto setHotKey = [&](std::int64_t keyCode, std::int64_t mask) {
        app.fakes.preferences.stored[systemtest::kDomain] = Dictionary{
            {"AppleSymbolicHotKeys", Dictionary{{"64", systemtest::hotKey(keyCode, mask)}}}};
    };
    setHotKey(49, 0x100000);
    app.post("GetSystemShortcut");
    const auto& posts = app.fakes.center.posts;
    ASSERT_EQ(posts.size(), 2U);
    EXPECT_EQ(posts[0].name, "getSystemShortcutResponse");
    EXPECT_EQ(systemtest::rendered(posts[0].userInfo.at("systemShortcut").asArray()),
              (systemtest::Lines{"Spotlight", "Spotlight//Show Spotlight search | ⌘ | SPACE",
                                 "Spotlight//Show Finder search window | ⌘ | SPACE"}));
    EXPECT_EQ(posts[1].name, "GetKeyCodeAndFlagsArr");
    EXPECT_EQ(Value(posts[1].userInfo),
              Value(Dictionary{{"keyCodeAndFlagsArrData", keys({{49, 0x100000}, {49, 0x100000}})},
                               {"currentKeyCodeAndFlagsArrData", keys({{1, 0}})}}));
    for (const auto& post : posts) {
        EXPECT_EQ(post.object, kMainAppId);
        EXPECT_TRUE(post.deliverImmediately);
    }
    EXPECT_TRUE(
        systemtest::contains(app.fakes.console.lines, "Kivora---已获取到了所有快捷键-----"));
    EXPECT_EQ(app.delegate.currentShortTitle,
              std::vector<std::string>{"Save"});  // menus walked too

    // The second request's pairs follow the first's in both arrays; its list is its own.
    setHotKey(0, 0x40000);
    app.post("GetSystemShortcut");
    ASSERT_EQ(posts.size(), 4U);
    EXPECT_EQ(posts[2].userInfo.at("systemShortcut").asArray().size(), 3U);
    EXPECT_EQ(Value(posts[3].userInfo),
              Value(Dictionary{{"keyCodeAndFlagsArrData",
                                keys({{49, 0x100000}, {49, 0x100000}, {0, 0x40000}, {0, 0x40000}})},
                               {"currentKeyCodeAndFlagsArrData", keys({{1, 0}, {1, 0}})}}));

    // Empty lists are posted too; other names are ignored.
    app.fakes.preferences.stored.clear();
    app.post("GetSystemShortcut");
    EXPECT_EQ(Value(posts[4].userInfo), Value(Dictionary{{"systemShortcut", Array{}}}));
    app.post("getSystemShortcut");
    EXPECT_EQ(posts.size(), 6U);
}

}  // namespace
