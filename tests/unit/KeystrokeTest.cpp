#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "execute/Keystroke.h"
#include "fakes/FakeConsole.h"
#include "fakes/FakeEventTap.h"

namespace kivora {
namespace {

const std::string kPrefix = "tellHelperToSystemClickted:";
const std::vector<KeyCodeAndFlags> kOffered = {{49, 1048576}, {49, 0}, {0, 0},
                                               {48, 0},       {-1, 0}, {49, 0x60000}};

struct Outcome {
    std::vector<std::string> lines;
    std::vector<std::string> posted;  // "tap keyCode down|up flags"
};

Outcome click(const std::string& name, fake::FakeEventTap& tap) {
    fake::FakeConsole console;
    handleSystemShortcutClick(name, kOffered, tap, console);
    Outcome out{console.lines, {}};
    for (const auto& p : tap.posted) {
        out.posted.push_back(std::to_string(p.tap) + " " + std::to_string(p.event.keyCode) +
                             (p.event.keyDown ? " down " : " up ") + std::to_string(p.event.flags));
    }
    return out;
}

TEST(SystemShortcutClick, RequestsOfTheCaseFile) {
    std::ifstream file(KIVORA_SOURCE_DIR "/tests/data/unit/system-click-requests.txt");
    ASSERT_TRUE(file);
    std::string line, request;
    Outcome expected;
    int cases = 0;
    const auto check = [&] {
        if (request.empty()) {
            return;
        }
        fake::FakeEventTap tap;
        const Outcome got = click(request, tap);
        EXPECT_EQ(got.lines, expected.lines) << request;
        EXPECT_EQ(got.posted, expected.posted) << request;
        request.clear();
        expected = {};
        ++cases;
    };
    while (std::getline(file, line)) {
        if (line.starts_with("> ")) {
            request = line.substr(2);
        } else if (line.starts_with("< ")) {
            expected.lines.push_back(line.substr(2));
        } else if (line.starts_with("= ")) {
            const std::string key = line.substr(2, line.find(' ', 2) - 2);
            const std::string flags = line.substr(line.find(' ', 2) + 1);
            // The live modifier state of a new event must be replaced, on the session tap.
            const std::string tap = std::to_string(kCGSessionEventTap) + " ";
            expected.posted = {tap + key + " down " + flags, tap + key + " up " + flags};
        } else if (line.empty()) {
            check();
        }
    }
    check();
    EXPECT_EQ(cases, 32);
}

// Creation can fail for either event; a key down must never go out without its key up.
TEST(SystemShortcutClick, EventCreationFailingPostsNothing) {
    struct FailingEventTap : fake::FakeEventTap {
        int failAt = 0, created = 0;
        std::optional<KeyboardEvent> createKeyboardEvent(std::uint16_t code, bool down) override {
            return ++created == failAt ? std::nullopt
                                       : FakeEventTap::createKeyboardEvent(code, down);
        }
    };
    for (int failAt : {1, 2}) {
        FailingEventTap tap;
        tap.failAt = failAt;
        const Outcome got = click(kPrefix + R"(["49","1048576"])", tap);
        EXPECT_TRUE(got.posted.empty());
        ASSERT_EQ(got.lines.size(), 2u);
        EXPECT_EQ(got.lines[1], "无法创建键盘事件，未发送: keyCode=49, flags=1048576");
    }
}

}  // namespace
}  // namespace kivora
