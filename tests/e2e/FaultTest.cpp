// What one scenario step cannot say: a flood of hostile notifications around real requests,
// the bus daemon dying under the helper, output nobody reads, a FIFO swapped in as the
// preferences file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <thread>

#include "e2e/support/HelperProcess.h"
#include "e2e/support/PrivateBus.h"
#include "e2e/support/TestClient.h"

namespace kivora::e2e {
namespace {

// AddressSanitizer holds freed memory in quarantine on purpose, so there resident memory says
// nothing about leaks (LeakSanitizer does); the helper is built like this test.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

const std::string kDemoDesktop = std::string(KIVORA_BUNDLE_DIR) + "/Resources/demo-desktop.json";

// A HOME holding the demo preferences, inside `folder`.
std::string demoHome(const TempDir& folder) {
    const std::string home = folder.file("home");
    std::filesystem::copy(std::string(KIVORA_SOURCE_DIR) + "/resources/demo/home", home,
                          std::filesystem::copy_options::recursive);
    return home;
}

std::unique_ptr<HelperProcess> startHelper(const PrivateBus& bus, std::optional<std::string> home) {
    auto helper = std::make_unique<HelperProcess>(
        bus, HelperOptions{{"--desktop", kDemoDesktop}, std::move(home), {}});
    EXPECT_TRUE(helper->waitUntilOwnsName()) << helper->describe();
    return helper;
}

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

// Notifications that must never be answered, deterministic for a seed: rows of
// fault-noise.txt with random text and user info, and now and then a body of a wrong signature.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : rng_(seed) {
        std::ifstream file(KIVORA_SOURCE_DIR "/tests/data/linux/fault-noise.txt");
        for (std::string line; std::getline(file, line);) {
            const std::size_t tab = line.find('\t');
            if (!line.starts_with("#") && tab != std::string::npos) {
                rows_.emplace_back(line.substr(0, tab), line.substr(tab + 1));
            }
        }
        EXPECT_GT(rows_.size(), 30u);
    }

    void post(TestClient& client) {
        if (pick(100) == 0) {
            ++malformed;
            if (pick(2) == 0) {
                client.postRaw("i", 7);
            } else {
                client.postRaw("ssa{sv}", text(30).c_str(), kHelperObject, 1, "k", "(ii)", 1, 2);
            }
            return;
        }
        const auto& [name, to] = rows_[pick(rows_.size())];
        const std::optional<std::string> object = to == "-"        ? std::nullopt
                                                  : to == "helper" ? kHelperObject
                                                  : to == "main"   ? kMainAppObject
                                                                   : std::optional(filled(to));
        client.post(filled(name), object, userInfo());
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

    std::string filled(std::string row) {  // random text holds no "%"
        for (std::size_t at; (at = row.find('%')) != std::string::npos;) {
            row.replace(at, 1, text(30));
        }
        return row;
    }

    // Strings, integers and booleans, alone or inside an array and a dictionary.
    Dictionary userInfo() {
        Dictionary info;
        for (std::size_t n = pick(4); n > 0; --n) {
            const Value leaf =
                pick(2) == 0 ? Value(text(20)) : Value(static_cast<std::int64_t>(rng_()));
            info[text(12)] =
                pick(3) == 0 ? Value(Array{pick(2) == 0, Dictionary{{text(5), leaf}}}) : leaf;
        }
        return info;
    }

    std::mt19937_64 rng_;
    std::vector<std::pair<std::string, std::string>> rows_;
};

// 100,000 notifications of noise with 100 real requests among them: every request answered,
// correctly and in order, nothing else answered or pressed or typed, and memory flat.
TEST(Load, HundredThousandNotificationsAroundHundredRequests) {
    constexpr int kRequests = 100;
    constexpr int kNoisePerRequest = 1000;
    const std::array<std::string, 2> apps{"com.example.Editor", "com.example.Terminal"};

    PrivateBus bus;
    auto helper = startHelper(bus, std::nullopt);
    TestClient client(bus, TestClient::Collect::fromHelperOnly);
    const auto sheetOf = [&](const std::string& app) {
        EXPECT_TRUE(client.activate(app));
        client.post("GetCurrentShortcut", kHelperObject);
        auto reply = client.waitFor("GetCurrentShortcutResponse");
        return reply ? reply->userInfo : Dictionary{};
    };
    const std::array<Dictionary, 2> expected{sheetOf(apps[0]), sheetOf(apps[1])};
    ASSERT_EQ(expected[0].size(), 1u);
    ASSERT_NE(expected[0], expected[1]);

    Noise noise(20240601);
    const auto round = [&](int i) {
        // The call is also a barrier: the helper has caught up before more noise goes out.
        EXPECT_TRUE(client.activate(apps[i % 2]));
        for (int n = 0; n < kNoisePerRequest; ++n) {
            noise.post(client);
        }
        client.post("GetCurrentShortcut", kHelperObject);
    };
    // Warm-up, so that the start figure includes what a first flood allocates for good.
    round(0);
    round(1);
    ASSERT_TRUE(client.ping()) << helper->describe();
    client.clear();
    const std::int64_t startKiB = residentKiB(helper->pid());
    const auto started = Clock::now();
    for (int i = 0; i < kRequests; ++i) {
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
        EXPECT_EQ(replies[i].userInfo, expected[i % 2]) << "request " << i;
        records += expected[i % 2].begin()->second.asArray().size();
    }
    EXPECT_EQ(client.pressedItems(), std::optional(std::vector<std::string>{}));
    const auto keys = client.keyEvents();
    EXPECT_TRUE(keys && keys->empty());

    // The pairs that every walk appends are kept by design: at most 16 bytes a record, twice
    // that while the array grows.
    const auto pairsKiB = static_cast<std::int64_t>(records * 16 * 2 / 1024);
    EXPECT_GT(startKiB, 0);
    if (!kAddressSanitizer) {
        EXPECT_LE(endKiB, 2 * startKiB + pairsKiB) << "start " << startKiB << " KiB";
    }
    std::cout << "[ figures  ] " << kRequests * kNoisePerRequest << " notifications and "
              << kRequests << " requests in " << elapsed << " s; helper VmRSS " << startKiB
              << " KiB -> " << endKiB << " KiB\n";

    client.post("TerminateSubApp", kHelperObject);
    EXPECT_TRUE(helper->waitForExit().exitedWith(0)) << helper->describe();
    // At most one diagnostic per malformed body (repeats counted), and nothing else.
    EXPECT_LE(helper->stderrLines().size(), noise.malformed);
    for (const std::string& line : helper->stderrLines()) {
        ASSERT_TRUE(line.find("from " + client.uniqueName() + ":") != std::string::npos ||
                    line.ends_with(" more like this"))
            << line;
    }
}

// Lost with nothing to do, and lost while answering a request (its replies cannot go out):
// either way one line and a non-zero exit within a second.
TEST(Fault, LosingTheBusEndsTheHelperWithinASecondWithOneLine) {
    TempDir files;
    const std::string home = demoHome(files);
    for (const bool busy : {false, true}) {
        PrivateBus bus;
        auto helper = startHelper(bus, home);
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

// Standard output and error that nobody reads: the helper goes on answering, and SIGTERM
// still ends it with status 0.
TEST(Fault, OutputNobodyReadsNeverStallsTheHelper) {
    TempDir files;
    const std::string fifo = files.path() + "/stuck";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Held open and never read: both streams of the helper fill this pipe and stay full.
    const int held = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    PrivateBus bus;
    ChildProcess helper({"/bin/sh",
                         {"-c", "exec \"$0\" --desktop \"$1\" >\"$2\" 2>&1", KIVORA_HELPER_PATH,
                          kDemoDesktop, fifo},
                         {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}, {"HOME", files.path()}}});
    TestClient client(bus);
    ASSERT_TRUE(client.waitForName(kHelperObject));
    // Each request logs; sixty of them, with a flood of diagnostics, are far more than a
    // pipe holds.
    for (int i = 0; i < 60; ++i) {
        client.postRaw("i", i);
        client.post("GetSystemShortcut", kHelperObject);
        ASSERT_TRUE(client.waitFor("GetKeyCodeAndFlagsArr")) << "request " << i;
    }
    helper.signal(SIGTERM);
    EXPECT_TRUE(helper.waitForExit().exitedWith(0));
    ::close(held);
}

// A FIFO and the real file swapped over the preferences path while requests arrive: every
// request is answered, whichever the helper meets (a FIFO is refused without blocking).
TEST(Fault, AFifoSwappedInAsThePreferencesFileNeverBlocksTheHelper) {
    TempDir files;
    const std::string home = demoHome(files);
    const std::string prefs = home + "/Library/Preferences/com.apple.symbolichotkeys.plist";
    const std::string plain = files.path() + "/plain", fifo = files.path() + "/fifo";
    PrivateBus bus;
    auto helper = startHelper(bus, home);
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
