// The real helper on a desktop session of the test's own, driven over the session bus the
// way the main application drives it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <tuple>

#include <signal.h>

#include <algorithm>

#include "DesktopHarness.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::desktop {
namespace {

using e2e::ChildProcess;
using e2e::HelperOptions;
using e2e::HelperProcess;
using e2e::kHelperObject;
using e2e::TestClient;

// The user's system shortcuts: Spotlight on command-space, Select the previous input source
// on control-space.
constexpr const char* kHotKeys = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>AppleSymbolicHotKeys</key><dict>
<key>64</key><dict><key>enabled</key><true/><key>value</key><dict><key>parameters</key>
<array><integer>32</integer><integer>49</integer><integer>1048576</integer></array></dict></dict>
<key>60</key><dict><key>enabled</key><true/><key>value</key><dict><key>parameters</key>
<array><integer>32</integer><integer>49</integer><integer>262144</integer></array></dict></dict>
</dict></dict></plist>
)";

class HelperOnDesktopTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        home_ = std::make_unique<e2e::TempDir>();
        home_->write("Library/Preferences/com.apple.symbolichotkeys.plist", kHotKeys);
        helper_ = startHelper(home_->path());
        ASSERT_FALSE(HasFailure());
        client_ = std::make_unique<TestClient>(session_->bus());
    }
    void TearDown() override {
        if (helper_) {
            helper_->signal(SIGTERM);
            EXPECT_TRUE(helper_->waitForExit().exitedWith(0)) << helper_->describe();
        }
    }

    // Asks for the target's menu shortcuts and returns the list of the reply.
    Array currentShortcuts() {
        client_->clear();
        EXPECT_TRUE(client_->post("GetCurrentShortcut", std::string(kHelperObject)));
        auto reply = client_->waitFor("GetCurrentShortcutResponse");
        if (!reply) {
            ADD_FAILURE() << "no reply to GetCurrentShortcut: " << helper_->describe();
            return {};
        }
        const Value* list = reply->userInfo.count("currentShortcut") != 0
                                ? &reply->userInfo.at("currentShortcut")
                                : nullptr;
        return list != nullptr && list->array() != nullptr ? *list->array() : Array{};
    }

    static bool contains(const Array& list, const Value& entry) {
        return std::find(list.begin(), list.end(), entry) != list.end();
    }

    std::unique_ptr<e2e::TempDir> home_;
    std::unique_ptr<HelperProcess> helper_;
    std::unique_ptr<TestClient> client_;
};

TEST_F(HelperOnDesktopTest, TargetFollowsSwitchesButNotToTheMainApplication) {
    auto gtk = startApp("gtk", {"--tag", "GtkTag"});
    auto qt = startApp("qt", {"--tag", "QtTag"});
    auto main = startApp("gtk", {"--name", "org.morvane.Kivora", "--tag", "MainTag"});
    ASSERT_TRUE(gtk && qt && main);

    ASSERT_TRUE(session_->activate(gtk->pid(), true));
    ASSERT_TRUE(session_->activate(main->pid(), true));
    Array list = currentShortcuts();
    // The menus of the test application in either toolkit, its tag menu before the title.
    const auto withTag = [](const char* tag) {
        Array expected = expectedTestApplicationList();
        expected.insert(expected.end() - 1,
                        {Value(tag), Value(Dictionary{{"Path", Value(tag)},
                                                      {"Title", Value("Identify")},
                                                      {"Modifier", Value("⌘")},
                                                      {"MenuItemCmdChar", Value("I")},
                                                      {"MenuItemCmdGlyph", Value("")}})});
        return expected;
    };
    EXPECT_EQ(list, withTag("GtkTag")) << toDebugString(Value(list));
    // A press reaches an item two submenus down.
    EXPECT_TRUE(client_->post("tellHelperToCurrentClickted:Oldest", std::string(kHelperObject)));
    EXPECT_TRUE(gtk->waitForLine("activated File/Open Recent/More/Oldest")) << gtk->describe();

    // An application that calls itself the helper does not count either.
    auto helperNamed = startApp("qt", {"--name", "org.morvane.Kivora.KivoraData", "--tag", "Self"});
    ASSERT_TRUE(helperNamed);
    ASSERT_TRUE(session_->activate(qt->pid(), true));
    ASSERT_TRUE(session_->activate(helperNamed->pid(), true));
    ASSERT_TRUE(session_->activate(main->pid(), true));
    list = currentShortcuts();
    EXPECT_EQ(list, withTag("QtTag")) << toDebugString(Value(list));
    EXPECT_TRUE(client_->post("tellHelperToCurrentClickted:Oldest", std::string(kHelperObject)));
    EXPECT_TRUE(qt->waitForLine("activated File/Open Recent/More/Oldest")) << qt->describe();
    // The harvest brought the target to the front.
    EXPECT_EQ(session_->activeWindow(), session_->windowOf(qt->pid()));
}

// A switch is taken in before the request that follows it, however briefly the application
// was in front and whichever toolkit announced it. The helper can only know what the toolkit
// has announced, which a loaded machine delays: the switch is made once it has.
TEST_F(HelperOnDesktopTest, TargetIsTheLastApplicationSwitchedToHoweverBriefly) {
    auto gtk = startApp("gtk", {"--tag", "GtkTag"});
    auto qt = startApp("qt", {"--tag", "QtTag"});
    ASSERT_TRUE(gtk && qt);
    ASSERT_TRUE(session_->activate(gtk->pid(), true));
    ASSERT_TRUE(session_->activate(qt->pid(), true));
    const std::tuple<ChildProcess*, ChildProcess*, const char*> switches[] = {
        {gtk.get(), qt.get(), "QtTag"}, {qt.get(), gtk.get(), "GtkTag"}};
    for (int round = 0; round < 2; ++round) {
        for (const auto& [from, to, tag] : switches) {
            ASSERT_TRUE(session_->activate(from->pid(), true));
            ASSERT_TRUE(session_->activate(to->pid(), true));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ASSERT_TRUE(session_->park());
            const Array list = currentShortcuts();
            EXPECT_TRUE(contains(list, Value(tag)))
                << tag << " round " << round << ": " << toDebugString(Value(list));
        }
    }
}

// The window manager activates a new window as it maps it, maybe before its application has
// registered on the accessibility bus or learnt that anybody listens.
TEST_F(HelperOnDesktopTest, AnApplicationActiveAsItStartsIsTheTarget) {
    for (const char* script : {"gtk", "qt"}) {
        auto app = startApp(script, {"--tag", "Fresh"});
        ASSERT_TRUE(app);
        EXPECT_TRUE(contains(currentShortcuts(), Value("Fresh"))) << script;
    }
}

TEST_F(HelperOnDesktopTest, ClickedSystemShortcutReachesTheFocusedApplication) {
    auto gtk = startApp("gtk", {});
    ASSERT_TRUE(gtk);
    ASSERT_TRUE(session_->activate(gtk->pid(), true));
    EXPECT_TRUE(client_->post("GetSystemShortcut", std::string(kHelperObject)));
    auto pairs = client_->waitFor("GetKeyCodeAndFlagsArr");
    ASSERT_TRUE(pairs) << helper_->describe();
    const Value& offered = pairs->userInfo.at("keyCodeAndFlagsArrData");
    ASSERT_TRUE(contains(*offered.array(),
                         Value(Dictionary{{"keyCode", Value(49)}, {"flags", Value(1048576)}})))
        << toDebugString(offered);

    EXPECT_TRUE(client_->post(R"(tellHelperToSystemClickted:["49","1048576"])",
                              std::string(kHelperObject)));
    EXPECT_TRUE(gtk->waitForLine("key name=space keyval=32 mods=ctrl")) << gtk->describe();
    EXPECT_TRUE(
        client_->post(R"(tellHelperToSystemClickted:["49","262144"])", std::string(kHelperObject)));
    EXPECT_TRUE(gtk->waitForLine("key name=space keyval=32 mods=super")) << gtk->describe();
}

TEST_F(HelperOnDesktopTest, MousepadIsHarvested) {
    if (::access(kMousepad, X_OK) != 0) {
        GTEST_SKIP() << "mousepad is not installed";
    }
    std::string why;
    auto mousepad = session_->startApplication(kMousepad, {}, why);
    ASSERT_TRUE(mousepad) << why;
    ASSERT_TRUE(session_->activate(mousepad->pid(), true));
    // Mousepad registers late and makes its accessible menus on first demand, which can take
    // longer than the messaging timeout on a loaded machine: the first answers may come back
    // short or empty. Ask again, with a pause, for a bounded while.
    Array list;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (list.size() < 20 && std::chrono::steady_clock::now() < deadline) {
        list = currentShortcuts();
        if (list.size() < 20) {
            ASSERT_TRUE(session_->activate(mousepad->pid(), true));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    }
    EXPECT_TRUE(contains(list, Value(Dictionary{{"Path", Value("File")},
                                                {"Title", Value("Save")},
                                                {"Modifier", Value("⌘")},
                                                {"MenuItemCmdChar", Value("S")},
                                                {"MenuItemCmdGlyph", Value("")}})))
        << toDebugString(Value(list));
    EXPECT_TRUE(
        client_->post("tellHelperToCurrentClickted:Select All", std::string(kHelperObject)));
    EXPECT_TRUE(helper_->waitForLine("成功执行点击操作")) << helper_->describe();
}

TEST_F(HelperOnDesktopTest, HungAndKilledTargetsAreAnsweredWithinTheTimeout) {
    auto gtk = startApp("gtk", {"--tag", "Doomed"});
    ASSERT_TRUE(gtk);
    ASSERT_TRUE(session_->activate(gtk->pid(), true));
    const Array first = currentShortcuts();
    ASSERT_TRUE(contains(first, Value("Doomed")))
        << toDebugString(Value(first)) << helper_->describe();

    gtk->signal(SIGSTOP);
    EXPECT_TRUE(currentShortcuts().empty());  // answered, with what could be read: nothing
    EXPECT_TRUE(client_->post("tellHelperToCurrentClickted:Save", std::string(kHelperObject)));
    EXPECT_TRUE(client_->ping());
    gtk->signal(SIGCONT);

    ASSERT_TRUE(contains(currentShortcuts(), Value("Doomed")));
    gtk->kill();
    EXPECT_TRUE(client_->post("tellHelperToCurrentClickted:Save", std::string(kHelperObject)));
    EXPECT_TRUE(helper_->waitForLine("点击操作失败，错误码：-25202")) << helper_->describe();
    EXPECT_TRUE(currentShortcuts().empty());
    EXPECT_TRUE(helper_->running());
}

TEST_F(HelperOnDesktopTest, PermissionPromptTurnsAccessibilityOnAndTheNextPollReplies) {
    linux_::BusError error;
    ASSERT_GE(sd_bus_set_property(client_->bus(), "org.a11y.Bus", "/org/a11y/bus",
                                  "org.a11y.Status", "IsEnabled", error.get(), "b", 0),
              0)
        << error.message();
    EXPECT_TRUE(client_->post("AccessibilityStatus"));
    EXPECT_TRUE(helper_->waitForLine("没有开启辅助功能")) << helper_->describe();
    EXPECT_TRUE(helper_->waitForLine("accessEnabled: false"));
    EXPECT_TRUE(helper_->waitForStderr("turned toolkit accessibility on"));
    // The poll comes every 5 seconds.
    auto reply = client_->waitFor("AccessibilityStatusResponse", e2e::Duration(12000));
    ASSERT_TRUE(reply) << helper_->describe();
    EXPECT_EQ(reply->userInfo.at("isEnabled"), Value(true));
    EXPECT_TRUE(helper_->waitForLine("已开启辅助功能"));
}

// Runs without the desktop session: the refusal needs none.
TEST(HelperWithoutDesktopTest, RefusesWithALineNamingTheDesktopOption) {
    e2e::PrivateBus bus;
    HelperOptions options;
    options.environment["DISPLAY"] = std::nullopt;
    options.environment["WAYLAND_DISPLAY"] = std::nullopt;
    HelperProcess helper(bus, options);
    auto status = helper.waitForExit();
    EXPECT_TRUE(status.exitedWith(2)) << status << helper.describe();
    auto err = helper.stderrLines();
    ASSERT_EQ(err.size(), 1U) << helper.describe();
    EXPECT_NE(err[0].find("--desktop"), std::string::npos) << err[0];
    EXPECT_TRUE(helper.stdoutLines().empty());
}

}  // namespace
}  // namespace kivora::desktop
