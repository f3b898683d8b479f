// Requests that would stall or bloat the helper if its work were not bounded: a huge click
// title, harvests without end, a target that answers just under the timeout, a FIFO swapped
// in as the preferences file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "e2e/support/E2e.h"

namespace kivora::e2e {
namespace {

// An application "Big" with `items` enabled items (each one pair) whose every call takes
// `delayMs`.
std::string desktopWith(int items, int delayMs) {
    std::string list;
    for (int i = 0; i < items; ++i) {
        list += std::string(i == 0 ? "" : ",") + R"({"AXTitle": "Item )" + std::to_string(i) +
                R"(", "AXEnabled": true, "AXMenuItemCmdChar": "A", "AXDelayMs": )" +
                std::to_string(delayMs) + "}";
    }
    return R"({"trusted": true, "frontmost": "com.example.Big", "applications": [
        {"bundleIdentifier": "com.example.Big", "processIdentifier": 10, "menuBar": {"AXChildren": [
          {"AXTitle": "Apple"},
          {"AXTitle": "Big", "AXChildren": [{"AXChildren": [)" +
           list + "]}]}]}}]}";
}

std::size_t pairCount(const Notification& reply, const std::string& key) {
    const auto it = reply.userInfo.find(key);
    return it != reply.userInfo.end() && it->second.isArray() ? it->second.asArray().size() : 0;
}

// A title of 12 MiB is compared against every stored title without being decomposed each
// time; the requests around it are served at once, and nothing is pressed.
TEST(HostileUse, AHugeTitleOrNameIsAnsweredAndServingGoesOn) {
    PrivateBus bus;
    auto helper = startHelper(bus, HelperOptions::withArgs({"--desktop", demoDesktop()}));
    ASSERT_TRUE(helper);
    TestClient client(bus, TestClient::Collect::fromHelperOnly);
    client.post("GetCurrentShortcut", kHelperObject);
    ASSERT_TRUE(client.waitFor("GetCurrentShortcutResponse")) << helper->describe();

    std::string huge;
    for (int i = 0; i < 6 * 1024 * 1024; ++i) {
        huge += "\xC3\xA9";
    }
    client.post("tellHelperToCurrentClickted:" + huge, kHelperObject);
    client.post(huge, kHelperObject);
    client.post("GetCurrentShortcut", kHelperObject);
    EXPECT_TRUE(client.waitFor("GetCurrentShortcutResponse", scaled(Duration(5000))))
        << helper->describe();
    EXPECT_TRUE(client.pressedItems().empty());
}

// Harvests without end: the menu pairs keep the newest whole harvests within 16,384 pairs,
// and the pairs can always be sent.
TEST(HostileUse, ThePairArraysKeepTheNewestWholeHarvestsWithinTheCap) {
    TempDir files;
    PrivateBus bus;
    auto helper = startHelper(
        bus, HelperOptions::withArgs({"--desktop", files.write("big.json", desktopWith(990, 0))}));
    ASSERT_TRUE(helper);
    TestClient client(bus, TestClient::Collect::fromHelperOnly);
    for (int i = 0; i < 17; ++i) {
        client.post("GetCurrentShortcut", kHelperObject);
        ASSERT_TRUE(client.waitFor("GetCurrentShortcutResponse")) << i << helper->describe();
    }
    client.post("GetSystemShortcut", kHelperObject);  // an eighteenth harvest
    auto pairs = client.waitFor("GetKeyCodeAndFlagsArr");
    ASSERT_TRUE(pairs) << helper->describe();
    EXPECT_EQ(pairCount(*pairs, "currentKeyCodeAndFlagsArrData"), 16u * 990u);
}

// Items that each answer just under the messaging timeout: the walk stops at its deadline
// with what it read, the next request is served, and SIGTERM during a walk ends the helper.
TEST(HostileUse, ASlowTargetCannotHoldTheHelperPastTheWalkDeadline) {
    TempDir files;
    PrivateBus bus;
    auto helper = startHelper(
        bus,
        HelperOptions::withArgs({"--desktop", files.write("slow.json", desktopWith(200, 900))}));
    ASSERT_TRUE(helper);
    TestClient client(bus, TestClient::Collect::fromHelperOnly);
    for (int i = 0; i < 2; ++i) {
        client.post("GetCurrentShortcut", kHelperObject);
        EXPECT_TRUE(client.waitFor("GetCurrentShortcutResponse", scaled(Duration(10000))))
            << i << helper->describe();
    }
    client.post("GetCurrentShortcut", kHelperObject);
    std::this_thread::sleep_for(Duration(300));
    helper->signal(SIGTERM);
    EXPECT_TRUE(helper->waitForExit(scaled(Duration(10000))).exitedWith(0)) << helper->describe();
}

// A FIFO and the real file swapped over the preferences path while requests arrive: every
// request is answered, whichever the helper meets (a FIFO is refused without blocking).
TEST(HostileUse, AFifoSwappedInAsThePreferencesFileNeverBlocksTheHelper) {
    TempDir files;
    const std::string home = copyDemoHome(files);
    const std::string prefs = home + "/Library/Preferences/com.apple.symbolichotkeys.plist";
    const std::string plain = files.path() + "/plain", fifo = files.path() + "/fifo";
    PrivateBus bus;
    auto helper = startHelper(bus, HelperOptions{{"--desktop", demoDesktop()}, home, {}});
    ASSERT_TRUE(helper);
    TestClient client(bus, TestClient::Collect::fromHelperOnly);
    std::atomic<bool> done{false};
    std::thread swapper([&] {
        std::ifstream in(prefs, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        for (int i = 0; !done; ++i) {
            if (i % 2 == 0) {
                std::ofstream(plain, std::ios::binary) << bytes;
                std::rename(plain.c_str(), prefs.c_str());
            } else if (::mkfifo(fifo.c_str(), 0600) == 0) {
                std::rename(fifo.c_str(), prefs.c_str());
            }
        }
    });
    for (int i = 0; i < 20; ++i) {
        client.post("GetSystemShortcut", kHelperObject);
        EXPECT_TRUE(client.waitFor("GetKeyCodeAndFlagsArr")) << i << helper->describe();
    }
    done = true;
    swapper.join();
}

}  // namespace
}  // namespace kivora::e2e
