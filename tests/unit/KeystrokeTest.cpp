#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "execute/Keystroke.h"
#include "fakes/FakeConsole.h"
#include "fakes/FakeEventTap.h"

namespace kivora {
namespace {

const std::string kPrefix = "tellHelperToSystemClickted:";
const std::string kParsed = "解析后的数组: ";

using Keystroke = std::optional<std::pair<std::uint16_t, std::uint64_t>>;

// One request: the text after the prefix, the array line it logs (none: silent), a second
// line if any, and the keystroke posted (down then up), if any.
struct Case {
    std::string payload;
    std::optional<std::string> parsed;
    std::string second;
    Keystroke keystroke;
};

Keystroke key(std::uint16_t keyCode, std::uint64_t flags) {
    return std::pair{keyCode, flags};
}

std::string refused(const std::string& pair) {
    return "拒绝发送未提供的快捷键: " + pair;
}

std::string outOfRange(const std::string& pair) {
    return "键码超出范围(0…65535)，未发送: " + pair;
}

// clang-format off
const std::vector<Case> kCases = {
    // Strings, not numbers; one element supplies both values; middle elements are ignored.
    {R"(["49","1048576"])", R"(["49", "1048576"])", "", key(49, 1048576)},
    {"[49,1048576]", "[49, 1048576]", "", {}},
    {R"([49,"0"])", R"([49, "0"])", "", {}},
    {R"(["0"])", R"(["0"])", "", key(0, 0)},
    {R"(["49"])", R"(["49"])", refused("keyCode=49, flags=49"), {}},
    {R"(["49","x",7,"0"])", R"(["49", "x", 7, "0"])", "", key(49, 0)},
    // Decimal texts: a sign, digits only, the value must fit; "-" before the flags only for 0.
    {R"(["+49","+0"])", R"(["+49", "+0"])", "", key(49, 0)},
    {R"([" 49","0"])", R"([" 49", "0"])", "", {}},
    {R"(["","0"])", R"(["", "0"])", "", {}},
    {R"(["４９","0"])", R"(["４９", "0"])", "", {}},
    {R"(["49","-0"])", R"(["49", "-0"])", "", key(49, 0)},
    {R"(["49","-1"])", R"(["49", "-1"])", "", {}},
    {R"(["49","18446744073709551616"])", R"(["49", "18446744073709551616"])", "", {}},
    {R"(["49","18446744073709551615"])", R"(["49", "18446744073709551615"])",
     refused("keyCode=49, flags=18446744073709551615"), {}},
    {R"(["9223372036854775808","0"])", R"(["9223372036854775808", "0"])", "", {}},
    // Out of range after a successful parse: refused even when offered, never truncated
    // (65584 would be 48, which is offered).
    {R"(["65584","0"])", R"(["65584", "0"])", outOfRange("keyCode=65584, flags=0"), {}},
    {R"(["-1","0"])", R"(["-1", "0"])", outOfRange("keyCode=-1, flags=0"), {}},
    // The allow-list.
    {R"(["49","131072"])", R"(["49", "131072"])", refused("keyCode=49, flags=131072"), {}},
    {R"(["49","393216"])", R"(["49", "393216"])", "", key(49, 0x60000)},
    // Shapes of the payload; every value rendered, strings escaped onto one line.
    {R"(["49","0")", {}, "", {}},
    {R"({"49":"0"})", {}, "", {}},
    {"[]", "[]", "", {}},
    {R"(["49",[1,[true,null]],{"k":2.5,"a":false},-3,1e300,"0"])",
     R"(["49", [1, [true, null]], {"a": false, "k": 2.5}, -3, 1e+300, "0"])", "", key(49, 0)},
    {R"(["49","a\nb\u0001\"\\","0"])", R"(["49", "a\nb\u0001\"\\", "0"])", "", key(49, 0)},
    // The JSON text is everything after the prefix, colons included.
    {R"(["49","a:b","0"])", R"(["49", "a:b", "0"])", "", key(49, 0)},
    {R"(junk:["49","0"])", {}, "", {}},
};
// clang-format on

const std::vector<KeyCodeAndFlags> kOffered = {{49, 1048576}, {49, 0}, {0, 0},
                                               {48, 0},       {-1, 0}, {49, 0x60000}};

void expectKeystroke(const fake::FakeEventTap& tap, const Keystroke& keystroke) {
    if (!keystroke) {
        EXPECT_TRUE(tap.posted.empty());
        return;
    }
    ASSERT_EQ(tap.posted.size(), 2u);
    EXPECT_TRUE(tap.posted[0].event.keyDown);
    EXPECT_FALSE(tap.posted[1].event.keyDown);
    for (const auto& p : tap.posted) {
        EXPECT_EQ(p.tap, kCGSessionEventTap);
        EXPECT_EQ(p.event.keyCode, keystroke->first);
        EXPECT_EQ(p.event.flags, keystroke->second);  // the live modifiers replaced
    }
}

TEST(SystemShortcutClick, RequestTable) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.payload);
        fake::FakeEventTap tap;
        fake::FakeConsole console;
        handleSystemShortcutClick(kPrefix + c.payload, kOffered, tap, console);
        std::vector<std::string> lines;
        if (c.parsed) {
            lines.push_back(kParsed + *c.parsed);
        }
        if (!c.second.empty()) {
            lines.push_back(c.second);
        }
        EXPECT_EQ(console.lines, lines);
        expectKeystroke(tap, c.keystroke);
    }
}

TEST(SystemShortcutClick, OtherNamesAreIgnoredSilently) {
    for (const char* name :
         {R"(TellHelperToSystemClickted:["49","0"])", R"(tellHelperToSystemClickted["49","0"])",
          R"(xtellHelperToSystemClickted:["49","0"])"}) {
        fake::FakeEventTap tap;
        fake::FakeConsole console;
        handleSystemShortcutClick(name, kOffered, tap, console);
        EXPECT_TRUE(console.lines.empty()) << name;
        EXPECT_TRUE(tap.posted.empty()) << name;
    }
}

TEST(SystemShortcutClick, OversizedAndDeepPayloadsGiveTheJsonErrorLine) {
    const std::string errorLine = "解析JSON字符串错误: ";
    std::string padding;
    while (padding.size() < 64 * 1024) {
        padding += R"("x",)";
    }
    const std::vector<std::string> payloads = {
        R"(["49",)" + padding + R"("0"])",
        // Far deeper than any stack would survive if parsing recursed; still under 64 KiB.
        std::string(30000, '[') + std::string(30000, ']'),
        R"(["49","0",])",
    };
    for (const auto& payload : payloads) {
        SCOPED_TRACE(payload.substr(0, 40));
        fake::FakeEventTap tap;
        fake::FakeConsole console;
        handleSystemShortcutClick(kPrefix + payload, kOffered, tap, console);
        ASSERT_EQ(console.lines.size(), 1u);
        EXPECT_TRUE(console.lines[0].starts_with(errorLine)) << console.lines[0];
        EXPECT_GT(console.lines[0].size(), errorLine.size());
        EXPECT_TRUE(tap.posted.empty());
    }
}

// Creation can fail for either event; a key down must never go out without its key up.
class FailingEventTap : public fake::FakeEventTap {
public:
    explicit FailingEventTap(int failAt) : failAt_(failAt) {}
    std::optional<KeyboardEvent> createKeyboardEvent(std::uint16_t keyCode, bool keyDown) override {
        if (++created_ == failAt_) {
            return std::nullopt;
        }
        return FakeEventTap::createKeyboardEvent(keyCode, keyDown);
    }

private:
    int failAt_;
    int created_ = 0;
};

TEST(SystemShortcutClick, EventCreationFailingPostsNothing) {
    for (int failAt : {1, 2}) {
        SCOPED_TRACE(failAt);
        FailingEventTap tap(failAt);
        fake::FakeConsole console;
        handleSystemShortcutClick(kPrefix + R"(["49","1048576"])", kOffered, tap, console);
        EXPECT_TRUE(tap.posted.empty());
        ASSERT_EQ(console.lines.size(), 2u);
        EXPECT_EQ(console.lines[1], "无法创建键盘事件，未发送: keyCode=49, flags=1048576");
    }
}

}  // namespace
}  // namespace kivora
