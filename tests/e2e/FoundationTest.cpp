// The helper as a real process on a private session bus: it starts and owns its name, ends in
// order, refuses to start twice or on bad input, and keeps serving through noise.

#include <gtest/gtest.h>

#include <csignal>

#include "e2e/support/E2e.h"

namespace kivora::e2e {
namespace {

const char* const kDesktop = R"({
  "trusted": true,
  "frontmost": "com.example.Editor",
  "applications": [
    { "bundleIdentifier": "com.example.Editor", "processIdentifier": 4242,
      "menuBar": { "AXChildren": [ { "AXTitle": "File", "AXChildren": [ { "AXChildren": [
          { "AXTitle": "Save", "AXEnabled": true, "AXMenuItemCmdChar": "S",
            "AXMenuItemCmdModifiers": 0 } ] } ] } ] } }
  ]
})";

class Foundation : public ::testing::Test {
  protected:
    HelperOptions withDesktop() {
        return HelperOptions::withArgs({"--desktop", files_.write("desktop.json", kDesktop)});
    }

    // The helper, started and owning its name.
    std::unique_ptr<HelperProcess> startHelper() {
        auto helper = std::make_unique<HelperProcess>(bus_, withDesktop());
        EXPECT_TRUE(helper->waitUntilOwnsName()) << helper->describe();
        return helper;
    }

    PrivateBus bus_;
    TempDir files_;
};

TEST_F(Foundation, OwnsItsNameAndQuitsOnlyWhenTheRequestNamesIt) {
    auto helper = startHelper();
    TestClient client(bus_);
    EXPECT_EQ(client.nameOwnerPid(kHelperBusName), helper->pid());

    client.post("TerminateSubApp", kMainAppObject);
    client.post("TerminateSubApp");
    client.post("terminateSubApp", kHelperObject);
    ASSERT_TRUE(client.ping()) << helper->describe();
    EXPECT_TRUE(helper->running());

    client.post("TerminateSubApp", kHelperObject);
    EXPECT_TRUE(helper->waitForExit().exitedWith(0)) << helper->describe();
    EXPECT_TRUE(helper->stderrLines().empty()) << helper->describe();
    EXPECT_TRUE(client.waitForName(kHelperBusName, false));
}

TEST_F(Foundation, SigtermAndSigintEndItInOrder) {
    for (int sig : {SIGTERM, SIGINT}) {
        auto helper = startHelper();
        helper->signal(sig);
        EXPECT_TRUE(helper->waitForExit().exitedWith(0)) << sig << "\n" << helper->describe();
        EXPECT_TRUE(helper->stderrLines().empty()) << helper->describe();
    }
}

TEST_F(Foundation, ASecondHelperIsRefusedAndTheFirstKeepsServing) {
    auto first = startHelper();
    HelperProcess second(bus_, withDesktop());
    const ExitStatus status = second.waitForExit();
    EXPECT_TRUE(status.exited() && status.code != 0) << status;
    ASSERT_EQ(second.stderrLines().size(), 1u) << second.describe();
    EXPECT_NE(second.stderrLines()[0].find(kHelperBusName), std::string::npos);

    TestClient client(bus_);
    EXPECT_EQ(client.nameOwnerPid(kHelperBusName), first->pid());
    client.post("AccessibilityStatus");
    EXPECT_TRUE(client.waitFor("AccessibilityStatusResponse")) << first->describe();
}

TEST_F(Foundation, BadCommandLinesAndDesktopFilesExitWithStatusTwo) {
    const std::vector<std::vector<std::string>> commandLines{
        {"--bogus"},
        {"--desktop"},
        {"--desktop", files_.write("ok.json", kDesktop), "extra"},
        {"--desktop", files_.file("missing.json")},
        {"--desktop", files_.path()},  // a folder: unreadable as a file
        {"--desktop", files_.write("text.json", "this is not JSON")},
        {"--desktop", files_.write("array.json", "[1, 2]")},
    };
    for (const auto& args : commandLines) {
        HelperProcess helper(bus_, HelperOptions::withArgs(args));
        const ExitStatus status = helper.waitForExit();
        EXPECT_TRUE(status.exitedWith(2)) << status << "\n" << helper.describe();
        EXPECT_EQ(helper.stderrLines().size(), 1u) << helper.describe();
        EXPECT_TRUE(helper.stdoutLines().empty()) << helper.describe();
    }
}

TEST_F(Foundation, HelpPrintsUsageAndExitsZero) {
    HelperProcess helper(bus_, HelperOptions::withArgs({"--help"}));
    EXPECT_TRUE(helper.waitForExit().exitedWith(0)) << helper.describe();
    ASSERT_FALSE(helper.stdoutLines().empty());
    EXPECT_EQ(helper.stdoutLines()[0].rfind("Usage:", 0), 0u);
    EXPECT_TRUE(helper.stderrLines().empty());
}

TEST_F(Foundation, NoSessionBusIsAClearFailure) {
    auto helper = HelperProcess::withoutBus(withDesktop());
    const ExitStatus status = helper->waitForExit();
    EXPECT_TRUE(status.exited() && status.code != 0) << status;
    EXPECT_EQ(helper->stderrLines().size(), 1u) << helper->describe();
}

TEST_F(Foundation, LosingTheBusEndsItWithOneLine) {
    auto helper = startHelper();
    bus_.kill();
    const ExitStatus status = helper->waitForExit();
    EXPECT_TRUE(status.exited() && status.code != 0) << status;
    ASSERT_EQ(helper->stderrLines().size(), 1u) << helper->describe();
    EXPECT_NE(helper->stderrLines()[0].find("lost the connection"), std::string::npos);
}

TEST_F(Foundation, NoiseDoesNotStopItServing) {
    auto helper = startHelper();
    TestClient client(bus_);
    client.post("", kHelperObject);
    client.post(std::string(1024 * 1024, 'N'), kHelperObject);
    client.postRaw("i", 42);
    client.postRaw("ssa{sv}s", "GetCurrentShortcut", kHelperObject, 0, "extra");
    client.postRaw("ssas", "GetCurrentShortcut", kHelperObject, 0);
    client.postRaw("ssa{sv}", "Unknown", kHelperObject, 1, "struct", "(ii)", 1, 2);
    ASSERT_TRUE(client.ping()) << helper->describe();
    EXPECT_TRUE(helper->running());

    // A request without user info is still a request.
    client.postRaw("ss", "AccessibilityStatus", kHelperObject);
    auto reply = client.waitFor("AccessibilityStatusResponse");
    ASSERT_TRUE(reply) << helper->describe();
    EXPECT_FALSE(reply->object);
    EXPECT_EQ(Value(reply->userInfo), Value(Dictionary{{"isEnabled", true}}));

    client.post("TerminateSubApp", kHelperObject);
    EXPECT_TRUE(helper->waitForExit().exitedWith(0)) << helper->describe();
    // Two wrong signatures and one unsupported value, one line each.
    EXPECT_EQ(helper->stderrLines().size(), 3u) << helper->describe();
}

}  // namespace
}  // namespace kivora::e2e
