// kivoractl monitor as a process on a private bus, alongside the notifications it shows.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "e2e/support/E2e.h"
#include "e2e/support/TestClient.h"

namespace kivora::e2e {
namespace {

ProcessSpec kivoractl(const PrivateBus& bus, std::vector<std::string> args) {
    return {KIVORACTL_PATH, std::move(args), {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}}};
}

TEST(KivoractlOutput, MonitorPrintsEachNotificationUntilCountOrInterrupt) {
    PrivateBus bus;
    ChildProcess counted(kivoractl(bus, {"monitor", "--count=2"}));
    ChildProcess endless(kivoractl(bus, {"monitor", "--json=short"}));
    ASSERT_TRUE(counted.waitForStderr("Monitoring")) << counted.describe();
    ASSERT_TRUE(endless.waitForStderr("Monitoring")) << endless.describe();
    TestClient client(bus);
    for (const char* name : {"GetCurrentShortcut", "GetCurrentShortcutResponse", "Third"}) {
        ASSERT_TRUE(client.post(name, "obj", {{"currentShortcut", Array{"File"}}}));
    }
    EXPECT_TRUE(counted.waitForExit().exitedWith(0)) << counted.describe();
    const auto lines = counted.stdoutLines();
    ASSERT_EQ(lines.size(), 2u) << counted.describe();
    EXPECT_TRUE(lines[1].ends_with(" " + client.uniqueName() +
                                   " GetCurrentShortcutResponse object=obj {currentShortcut=[1]}"))
        << lines[1];

    const auto deadline = std::chrono::steady_clock::now() + kDefaultTimeout;
    while (endless.stdoutLines().size() < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    endless.signal(SIGINT);
    EXPECT_TRUE(endless.waitForExit().exitedWith(0)) << endless.describe();
    EXPECT_EQ(endless.stdoutLines().size(), 3u) << endless.describe();
    EXPECT_TRUE(endless.stdoutLines()[2].find(R"("name":"Third")") != std::string::npos);
}

}  // namespace
}  // namespace kivora::e2e
