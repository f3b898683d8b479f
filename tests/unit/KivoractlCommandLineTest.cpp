#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kivoractl/CommandLine.h"
#include "kivoractl/HelpText.h"

namespace kivoractl {
namespace {

using Args = std::vector<std::string>;

// The fields a command line decides, in one comparable line.
std::string describe(const ParsedCommandLine& parsed) {
    if (!parsed.command) {
        return "error: " + parsed.error;
    }
    const Command& c = *parsed.command;
    std::ostringstream out;
    out << static_cast<int>(c.action) << " " << c.argument << " t=" << c.timeoutSeconds
        << " json=" << static_cast<int>(c.json) << " full=" << c.full << " count=" << c.count
        << " pid=" << c.processIdentifier << " trusted=" << c.trusted << " start=" << !c.noStart
        << " bus=" << c.address;
    return out.str();
}

TEST(KivoractlCommandLine, ReadsEveryCommandAndOption) {
    const std::vector<std::pair<Args, std::string>> cases = {
        {{"press", "Zoom: 100%"},
         "4 tellHelperToCurrentClickted:Zoom: 100% t=5 json=0 full=0 count=0 pid=0 trusted=0 "
         "start=1 bus="},
        // A title that looks like an option, after "--".
        {{"press", "--json=short", "--", "--verbose"},
         "4 tellHelperToCurrentClickted:--verbose t=5 json=2 full=0 count=0 pid=0 trusted=0 "
         "start=1 bus="},
        {{"key", "49", "1048576", "--json"},
         "5 tellHelperToSystemClickted:[\"49\",\"1048576\"] t=5 json=1 full=0 count=0 pid=0 "
         "trusted=0 start=1 bus="},
        // Signed texts are arguments, not options; the helper judges them.
        {{"key", "-1", "-0"},
         "5 tellHelperToSystemClickted:[\"-1\",\"-0\"] t=5 json=0 full=0 count=0 pid=0 "
         "trusted=0 start=1 bus="},
        {{"--timeout", "2.5", "current", "--json=short", "--full", "--address", "unix:path=/b"},
         "2  t=2.5 json=2 full=1 count=0 pid=0 trusted=0 start=1 bus=unix:path=/b"},
        {{"system", "--timeout=0.2", "--json=pretty", "--no-start", "--address=x", "--user"},
         "3  t=0.2 json=1 full=0 count=0 pid=0 trusted=0 start=0 bus="},
        {{"quit"}, "7  t=5 json=0 full=0 count=0 pid=0 trusted=0 start=1 bus="},
        {{"permission"}, "6  t=15 json=0 full=0 count=0 pid=0 trusted=0 start=1 bus="},
        {{"permission", "--timeout", "1"},
         "6  t=1 json=0 full=0 count=0 pid=0 trusted=0 start=1 bus="},
        // monitor runs until interrupted unless bounded.
        {{"monitor"}, "8  t=0 json=0 full=0 count=0 pid=0 trusted=0 start=1 bus="},
        {{"monitor", "--count=3", "--timeout", "9", "--json=short"},
         "8  t=9 json=2 full=0 count=3 pid=0 trusted=0 start=1 bus="},
        {{"desktop", "activate-pid", "+2147483647"},
         "9  t=5 json=0 full=0 count=0 pid=2147483647 trusted=0 start=1 bus="},
        {{"desktop", "trust", "true"}, "9  t=5 json=0 full=0 count=0 pid=0 trusted=1 start=1 bus="},
        {{"desktop", "keys", "--json"},
         "9  t=5 json=1 full=0 count=0 pid=0 trusted=0 start=1 bus="},
        // --version wins, as --help does.
        {{"--version"}, "1  t=5 json=0 full=0 count=0 pid=0 trusted=0 start=1 bus="},
        {{"current", "--version", "extra"},
         "1  t=5 json=0 full=0 count=0 pid=0 trusted=0 start=1 bus="},
    };
    for (const auto& [args, expected] : cases) {
        EXPECT_EQ(describe(parseCommandLine(args)), expected);
    }
}

TEST(KivoractlCommandLine, HelpEverywhereWithinEightyColumns) {
    for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"help"}}) {
        EXPECT_EQ(parseCommandLine(args).command->helpText, generalHelp());
    }
    for (const auto& [name, text] : commandHelp()) {
        SCOPED_TRACE(name);
        auto viaOption = parseCommandLine({name, "--help"});
        ASSERT_TRUE(viaOption.command);
        EXPECT_EQ(viaOption.command->action, Action::Help);
        EXPECT_EQ(viaOption.command->helpText, text);
        EXPECT_EQ(parseCommandLine({"help", name}).command->helpText, text);
        EXPECT_TRUE(text.starts_with("Usage: kivoractl " + name));
    }
    for (const auto& [name, text] : commandHelp()) {
        std::istringstream lines(text + generalHelp());
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(line.size(), 80u) << line;  // all ASCII: bytes are columns
        }
    }
    // --help wins over missing or bad arguments.
    EXPECT_EQ(parseCommandLine({"press", "--help"}).command->action, Action::Help);
    EXPECT_EQ(parseCommandLine({"desktop", "trust", "maybe", "-h"}).command->action, Action::Help);
}

TEST(KivoractlCommandLine, UsageErrors) {
    const std::vector<Args> bad = {
        {},
        {"frobnicate"},
        {"help", "frobnicate"},
        {"current", "extra"},
        {"quit", "--json"},
        {"desktop", "trust", "true", "--json"},
        {"press", "x", "--full"},
        {"current", "--count=2"},
        {"current", "--json=long"},
        {"monitor", "--count=0"},
        {"monitor", "--count", "-1"},
        {"monitor", "--count"},
        {"monitor", "now"},
        {"press"},
        {"press", ""},
        {"press", "\xC3("},
        {"key", "49"},
        {"key", "x", "0"},
        {"key", "0x31", "0"},
        {"current", "--verbose"},
        {"current", "--timeout"},
        {"current", "--address"},
        {"current", "--address="},
        {"current", "--timeout", "0"},
        {"current", "--timeout", "5s"},
        {"current", "--timeout", "3601"},
        {"desktop"},
        {"desktop", "explode"},
        {"desktop", "prompts", "3"},
        {"desktop", "activate", ""},
        {"desktop", "activate-pid", "2147483648"},
        {"desktop", "trust", "yes"},
    };
    for (const auto& args : bad) {
        const auto parsed = parseCommandLine(args);
        const std::string error = describe(parsed);
        EXPECT_TRUE(error.starts_with("error: ") && error.size() > 7) << error;
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace kivoractl
