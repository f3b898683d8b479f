#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kivoractl/CommandLine.h"
#include "kivoractl/HelpText.h"

namespace kivoractl {
namespace {

using Args = std::vector<std::string>;

// The fields a command line decides, in one comparable line; defaults left out.
std::string describe(const ParsedCommandLine& parsed) {
    if (!parsed.command) {
        return "error: " + parsed.error;
    }
    const Command& c = *parsed.command;
    std::ostringstream out;
    out << static_cast<int>(c.action) << " " << c.argument << " t=" << c.timeoutSeconds;
    const std::pair<const char*, long long> fields[] = {
        {" json=", static_cast<int>(c.json)}, {" full", c.full},       {" count=", c.count},
        {" pid=", c.processIdentifier},       {" trusted", c.trusted}, {" nostart", c.noStart}};
    for (const auto& [name, value] : fields) {
        if (value != 0) {
            out << name << value;
        }
    }
    out << (c.address.empty() ? "" : " bus=") << c.address;
    return out.str();
}

TEST(KivoractlCommandLine, ReadsEveryCommandAndOption) {
    const std::vector<std::pair<Args, std::string>> cases = {
        // A title that looks like an option, after "--".
        {{"press", "--json=short", "--", "--verbose"},
         "4 tellHelperToCurrentClickted:--verbose t=5 json=2"},
        // Signed texts are arguments, not options; the helper judges them.
        {{"key", "-1", "-0"}, "5 tellHelperToSystemClickted:[\"-1\",\"-0\"] t=5"},
        {{"--timeout", "2.5", "current", "--json=short", "--full", "--address", "unix:path=/b"},
         "2  t=2.5 json=2 full1 bus=unix:path=/b"},
        {{"system", "--timeout=0.2", "--json=pretty", "--no-start", "--address=x", "--user"},
         "3  t=0.2 json=1 nostart1"},
        {{"permission"}, "6  t=15"},
        // monitor runs until interrupted unless bounded.
        {{"monitor"}, "8  t=0"},
        {{"desktop", "activate-pid", "+2147483647"}, "9  t=5 pid=2147483647"},
        // --version wins, as --help does.
        {{"current", "--version", "extra"}, "1  t=5"},
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
        EXPECT_EQ(parseCommandLine({name, "--help"}).command->helpText, text);
        EXPECT_EQ(parseCommandLine({"help", name}).command->helpText, text);
        EXPECT_TRUE(text.starts_with("Usage: kivoractl " + name));
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
    // clang-format off
    const Args bad[] = {{}, {"frobnicate"}, {"help", "frobnicate"}, {"current", "extra"},
        {"quit", "--json"}, {"desktop", "trust", "true", "--json"}, {"press", "x", "--full"},
        {"current", "--count=2"}, {"current", "--json=long"}, {"monitor", "--count=0"},
        {"monitor", "--count", "-1"}, {"monitor", "--count"}, {"monitor", "now"}, {"press"},
        {"press", ""}, {"press", "\xC3("}, {"key", "49"}, {"key", "x", "0"}, {"key", "0x31", "0"},
        {"current", "--verbose"}, {"current", "--timeout"}, {"current", "--address"},
        {"current", "--address="}, {"current", "--timeout", "0"}, {"current", "--timeout", "5s"},
        {"current", "--timeout", "3601"}, {"desktop"}, {"desktop", "explode"},
        {"desktop", "prompts", "3"}, {"desktop", "activate", ""},
        {"desktop", "activate-pid", "2147483648"}, {"desktop", "trust", "yes"}};
    // clang-format on
    for (const Args& args : bad) {
        const auto parsed = parseCommandLine(args);
        const auto line = parsed.error.find('\n') == std::string::npos;  // one line, no command
        EXPECT_TRUE(!parsed.command && !parsed.error.empty() && line)
            << ::testing::PrintToString(args);
    }
}

}  // namespace
}  // namespace kivoractl
