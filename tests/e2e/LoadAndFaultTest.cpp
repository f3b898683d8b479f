// The helper under load and faults, on a private bus: a flood of random and hostile
// notifications around real requests, the bus daemon dying under it, a reply too large to send.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <fstream>
#include <iostream>
#include <random>
#include <thread>

#include "e2e/support/E2e.h"

namespace kivora::e2e {
namespace {

using Lines = std::vector<std::string>;

// AddressSanitizer holds freed memory in quarantine on purpose, so there resident memory says
// nothing about leaks (LeakSanitizer does); the helper is built like this test.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// VmRSS of `pid` in KiB; 0 when it cannot be read.
std::int64_t residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stoll(line.substr(6));
        }
    }
    return 0;
}

// Notifications that must never be answered: random names, objects and user info, malformed
// click requests, names and objects that differ from a request in one detail, and bodies of
// the wrong signature. Deterministic for a seed (one draw per statement, whatever the order
// in which a compiler evaluates arguments).
class Noise {
public:
    explicit Noise(std::uint64_t seed) : rng_(seed) {}

    void post(TestClient& client) {
        const int roll = pick(1000);
        if (roll < 350) {
            std::string name = text(40);
            if (name == "GetCurrentShortcut" || name == "GetSystemShortcut" ||
                name == "AccessibilityStatus" || name == "TerminateSubApp") {
                name += "~";
            }
            const auto to = object();
            client.post(name, to, userInfo());
        } else if (roll < 550) {
            // No demo title begins with "~".
            const std::string title = text(30);
            client.post("tellHelperToCurrentClickted:~" + title, kHelperObject, userInfo());
        } else if (roll < 750) {
            client.post("tellHelperToSystemClickted:" + systemPayload(), kHelperObject);
        } else if (roll < 990) {
            static const std::vector<std::pair<std::string, std::optional<std::string>>> nearMisses{
                {"GetCurrentShortcut", kMainAppObject},
                {"GetCurrentShortcut", std::nullopt},
                {"GetSystemShortcut", kMainAppObject},
                {"GetSystemShortcut", "org.morvane.Kivora.KivoraData "},
                {"TerminateSubApp", std::nullopt},
                {"TerminateSubApp", kMainAppObject},
                {"getCurrentShortcut", kHelperObject},
                {"GetCurrentShortcut ", kHelperObject},
                {"accessibilityStatus", kHelperObject},
                {"terminateSubApp", kHelperObject},
                {"GetCurrentShortcutResponse", kHelperObject},
                {"getSystemShortcutResponse", kHelperObject},
                {"GetKeyCodeAndFlagsArr", kHelperObject},
                {"AccessibilityStatusResponse", kHelperObject},
                {"tellHelperToCurrentClickted:Copy", kMainAppObject},
                {" tellHelperToCurrentClickted:Copy", kHelperObject},
                {"TellHelperToCurrentClickted:Copy", kHelperObject},
                {"tellHelperToCurrentClicktedCopy", kHelperObject},
                {"tellHelperToSystemClickted:[\"0\",\"0\"]", kMainAppObject},
            };
            const auto& [name, object] = nearMisses[pick(nearMisses.size())];
            client.post(name, object, userInfo());
        } else {
            ++malformed;
            const std::string name = text(20);
            switch (pick(4)) {
                case 0:
                    client.postRaw("i", 7);
                    break;
                case 1:
                    client.postRaw("ssa{sv}s", name.c_str(), kHelperObject, 0, "extra");
                    break;
                case 2:
                    client.postRaw("sas", name.c_str(), 2, "a", "b");
                    break;
                default:
                    client.postRaw("ssa{sv}", name.c_str(), kHelperObject, 1, "k", "(ii)", 1, 2);
            }
        }
    }

    std::size_t malformed = 0;  // bodies of a wrong signature or type

private:
    std::size_t pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
    }

    std::string text(std::size_t maxLength) {
        static const std::vector<std::string> pieces{
            "a", "Z", "0", "9",  ":", "[",  "]", "\"", ",", "{",       "}",         " ",
            "-", "+", "é", "服", "⌘", "\\", "/", "~",  "'", "e\u0301", "\U0001F600"};
        std::string out;
        for (std::size_t n = pick(maxLength + 1); n > 0; --n) {
            out += pieces[pick(pieces.size())];
        }
        return out;
    }

    std::optional<std::string> object() {
        switch (pick(5)) {
            case 0:
                return std::nullopt;
            case 1:
            case 2:
                return kHelperObject;
            case 3:
                return kMainAppObject;
            default:
                return text(20);
        }
    }

    Value value(int depth) {
        switch (pick(depth > 0 ? 6 : 4)) {
            case 0:
                return text(20);
            case 1:
                return static_cast<std::int64_t>(rng_());
            case 2:
                return pick(2) == 0;
            case 3:
                return Array(pick(3), Value(std::int64_t{0}));
            case 4: {
                Array array;
                for (std::size_t n = pick(4); n > 0; --n) {
                    array.push_back(value(depth - 1));
                }
                return array;
            }
            default:
                return userInfo(depth - 1);
        }
    }

    Dictionary userInfo(int depth = 3) {
        Dictionary info;
        for (std::size_t n = pick(4); n > 0; --n) {
            info[text(12)] = value(depth);
        }
        return info;
    }

    std::string systemPayload() {
        switch (pick(10)) {
            case 0:
                return "[" + text(30) + "]";
            case 1: {  // well formed, never handed out
                const std::string keyCode = std::to_string(pick(200));
                return "[\"" + keyCode + "\",\"" + std::to_string(rng_()) + "\"]";
            }
            case 2:
                return "[1,2]";
            case 3:
                return "[\"1\",]";
            case 4: {
                const std::size_t depth = 500 + pick(200);
                return std::string(depth, '[') + std::string(depth, ']');
            }
            case 5:
                return pick(50) == 0 ? "[\"" + std::string(70 * 1024, '7') + "\"]" : "[]";
            case 6:
                return pick(2) == 0 ? "[\"-1\",\"0\"]" : "[\"65536\",\"0\"]";
            case 7:
                return "[\"49\"";
            case 8:
                return "{\"a\":1}";
            default: {
                const std::string keyCode = text(8);
                return "[\"" + keyCode + "\",\"" + text(8) + "\"]";
            }
        }
    }

    std::mt19937_64 rng_;
};

// 100,000 notifications of noise with 100 real requests among them: every request answered,
// correctly and in order, nothing else answered or pressed or typed, and memory flat.
TEST(Load, HundredThousandNotificationsAroundHundredRequests) {
    constexpr int kRequests = 100;
    constexpr int kNoisePerRequest = 1000;
    constexpr std::uint64_t kSeed = 20240601;
    const std::array<std::string, 2> apps{"com.example.Editor", "com.example.Terminal"};

    PrivateBus bus;
    auto helper = startHelper(bus, HelperOptions::withArgs({"--desktop", demoDesktop()}));
    ASSERT_TRUE(helper);
    TestClient client(bus, TestClient::Collect::fromHelperOnly);
    const auto sheetOf = [&](const std::string& app) -> Lines {
        EXPECT_TRUE(client.activate(app));
        client.post("GetCurrentShortcut", kHelperObject);
        auto reply = client.waitFor("GetCurrentShortcutResponse");
        return reply ? sheetLines(currentShortcut(*reply)) : Lines{};
    };
    const std::array<Lines, 2> expected{sheetOf(apps[0]), sheetOf(apps[1])};
    ASSERT_FALSE(expected[0].empty());
    ASSERT_FALSE(expected[1].empty());

    Noise noise(kSeed);
    const auto round = [&](int i) {
        // The call is also a barrier: the helper has caught up before more noise goes out.
        EXPECT_TRUE(client.activate(apps[i % 2]));
        for (int n = 0; n < kNoisePerRequest; ++n) {
            noise.post(client);
        }
        client.post("GetCurrentShortcut", kHelperObject);
    };
    // Warm-up, so that the start figure includes what a first flood allocates for good.
    for (int i = 0; i < 2; ++i) {
        round(i);
    }
    ASSERT_TRUE(client.ping()) << helper->describe();
    client.clear();
    const std::int64_t startKiB = residentKiB(helper->pid());

    const auto started = Clock::now();
    const auto budget = scaled(Duration(180000));
    for (int i = 0; i < kRequests; ++i) {
        if (Clock::now() - started > budget) {
            FAIL() << "round " << i << " not reached within " << budget.count() << " ms";
        }
        round(i);
    }
    ASSERT_TRUE(client.ping()) << helper->describe();
    const auto elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    const std::int64_t endKiB = residentKiB(helper->pid());

    const std::vector<Notification>& replies = client.received();
    ASSERT_EQ(replies.size(), static_cast<std::size_t>(kRequests));
    std::size_t records = 0;
    for (int i = 0; i < kRequests; ++i) {
        ASSERT_EQ(replies[i].name, "GetCurrentShortcutResponse") << i;
        EXPECT_EQ(replies[i].object, kMainAppObject) << i;
        EXPECT_EQ(sheetLines(currentShortcut(replies[i])), expected[i % 2]) << "request " << i;
        records += expected[i % 2].size();
    }
    EXPECT_TRUE(client.pressedItems().empty());
    EXPECT_TRUE(client.keyEvents().empty());

    // The pairs that every walk appends are kept by design: at most 16 bytes a record, twice
    // that while the array grows.
    const std::int64_t pairsKiB = static_cast<std::int64_t>(records * 16 * 2 / 1024);
    EXPECT_GT(startKiB, 0);
    if (!kAddressSanitizer) {
        EXPECT_LE(endKiB, 2 * startKiB + pairsKiB) << "start " << startKiB << " KiB";
    }
    std::cout << "[ figures  ] " << kRequests * kNoisePerRequest << " notifications and "
              << kRequests << " requests in " << elapsed << " s ("
              << static_cast<long>(kRequests * kNoisePerRequest / elapsed)
              << " notifications/s); helper VmRSS " << startKiB << " KiB -> " << endKiB << " KiB\n";

    client.post("TerminateSubApp", kHelperObject);
    EXPECT_TRUE(helper->waitForExit().exitedWith(0)) << helper->describe();
    // At most one diagnostic per malformed body, and nothing else on standard error.
    EXPECT_LE(helper->stderrLines().size(), noise.malformed);
    for (const std::string& line : helper->stderrLines()) {
        ASSERT_NE(line.find("from " + client.uniqueName() + ":"), std::string::npos) << line;
    }
    std::cout << "[ figures  ] the helper wrote " << helper->stdoutLines().size()
              << " log lines and " << helper->stderrLines().size() << " diagnostics for "
              << noise.malformed << " malformed bodies\n";
}

// Lost with nothing to do, and lost while answering a request (its replies cannot go out):
// either way one line and a non-zero exit within a second.
TEST(Fault, LosingTheBusEndsTheHelperWithinASecondWithOneLine) {
    TempDir files;
    const std::string home = copyDemoHome(files);
    for (const bool busy : {false, true}) {
        PrivateBus bus;
        auto helper = startHelper(bus, HelperOptions{{"--desktop", demoDesktop()}, home, {}});
        ASSERT_TRUE(helper);
        if (busy) {
            TestClient client(bus);
            client.post("GetSystemShortcut", kHelperObject);
            // Into the walk's pause before the first reply.
            std::this_thread::sleep_for(Duration(10));
        }
        bus.kill();
        const ExitStatus status = helper->waitForExit(Duration(1000));
        EXPECT_TRUE(status.exited() && status.code != 0) << status << "\n" << helper->describe();
        ASSERT_EQ(helper->stderrLines().size(), 1u) << busy << "\n" << helper->describe();
        EXPECT_NE(helper->stderrLines()[0].find("lost the connection"), std::string::npos);
    }
}

// An application whose menu makes the reply larger than the bus carries: its top-level title
// is repeated in the path of every record.
TEST(Fault, AReplyTooLargeToSendIsOneDiagnosticAndServingGoesOn) {
    std::string items;
    for (int i = 0; i < 990; ++i) {
        items += std::string(i == 0 ? "" : ",") + R"({"AXTitle": "Item )" + std::to_string(i) +
                 R"(", "AXEnabled": true, "AXMenuItemCmdChar": "A"})";
    }
    const std::string desktop = R"({"trusted": true, "frontmost": "com.example.Huge",
      "applications": [
        {"bundleIdentifier": "com.example.Huge", "processIdentifier": 10, "menuBar": {"AXChildren": [
          {"AXTitle": "Apple"},
          {"AXTitle": "Huge", "AXChildren": [{"AXChildren": [
            {"AXTitle": "Quit", "AXEnabled": true, "AXMenuItemCmdChar": "Q"}]}]},
          {"AXTitle": ")" + std::string(40000, 'T') +
                                R"(", "AXChildren": [{"AXChildren": [)" + items + R"(]}]}]}},
        {"bundleIdentifier": "com.example.Small", "processIdentifier": 11, "menuBar": {"AXChildren": [
          {"AXTitle": "Apple"},
          {"AXTitle": "Small", "AXChildren": [{"AXChildren": [
            {"AXTitle": "Quit", "AXEnabled": true, "AXMenuItemCmdChar": "Q"}]}]}]}}]})";
    TempDir files;
    PrivateBus bus;
    auto helper =
        startHelper(bus, HelperOptions::withArgs({"--desktop", files.write("huge.json", desktop)}));
    ASSERT_TRUE(helper);
    TestClient client(bus);

    client.post("GetCurrentShortcut", kHelperObject);
    ASSERT_TRUE(helper->waitForLine("子程序中获取的当前程序快捷键个数：994")) << helper->describe();
    ASSERT_TRUE(helper->waitForStderr("GetCurrentShortcutResponse")) << helper->describe();
    ASSERT_TRUE(client.activate("com.example.Small"));
    EXPECT_EQ(client.count("GetCurrentShortcutResponse"), 0u);
    EXPECT_EQ(helper->stderrLines().size(), 1u) << helper->describe();

    client.post("GetCurrentShortcut", kHelperObject);
    auto reply = client.waitFor("GetCurrentShortcutResponse");
    ASSERT_TRUE(reply) << helper->describe();
    EXPECT_EQ(sheetLines(currentShortcut(*reply)),
              (Lines{"# Small", "Small | Quit | ⌘ | Q | ∅", "Small"}));
    EXPECT_EQ(helper->stderrLines().size(), 1u) << helper->describe();
}

}  // namespace
}  // namespace kivora::e2e
