#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kivoractl/CommandLine.h"

namespace kivoractl {
namespace {

ParsedCommandLine parse(std::vector<std::string> args) {
    return parseCommandLine(args);
}

TEST(KivoractlCommandLine, RequestsAndTheirNames) {
    auto press = parse({"press", "Zoom: 100%"});
    ASSERT_TRUE(press.command) << press.error;
    EXPECT_EQ(press.command->action, Action::Press);
    EXPECT_EQ(press.command->argument, "tellHelperToCurrentClickted:Zoom: 100%");

    // A title that looks like an option, after "--".
    press = parse({"press", "--", "--verbose"});
    ASSERT_TRUE(press.command) << press.error;
    EXPECT_EQ(press.command->argument, "tellHelperToCurrentClickted:--verbose");

    auto key = parse({"key", "49", "1048576"});
    ASSERT_TRUE(key.command) << key.error;
    EXPECT_EQ(key.command->action, Action::Key);
    EXPECT_EQ(key.command->argument, R"(tellHelperToSystemClickted:["49","1048576"])");

    // Signed texts are arguments, not options; the helper judges them.
    key = parse({"key", "-1", "-0"});
    ASSERT_TRUE(key.command) << key.error;
    EXPECT_EQ(key.command->argument, R"(tellHelperToSystemClickted:["-1","-0"])");
}

TEST(KivoractlCommandLine, OptionsAnywhereAndTimeouts) {
    auto current = parse({"--timeout", "2.5", "current", "--json"});
    ASSERT_TRUE(current.command) << current.error;
    EXPECT_EQ(current.command->action, Action::Current);
    EXPECT_TRUE(current.command->json);
    EXPECT_DOUBLE_EQ(current.command->timeoutSeconds, 2.5);

    auto system = parse({"system", "--timeout=0.2"});
    ASSERT_TRUE(system.command) << system.error;
    EXPECT_FALSE(system.command->json);
    EXPECT_DOUBLE_EQ(system.command->timeoutSeconds, 0.2);

    EXPECT_DOUBLE_EQ(parse({"quit"}).command->timeoutSeconds, kDefaultTimeoutSeconds);
    EXPECT_DOUBLE_EQ(parse({"permission"}).command->timeoutSeconds,
                     kDefaultPermissionTimeoutSeconds);
    EXPECT_DOUBLE_EQ(parse({"permission", "--timeout", "1"}).command->timeoutSeconds, 1);
}

TEST(KivoractlCommandLine, DesktopArguments) {
    auto pid = parse({"desktop", "activate-pid", "+2147483647"});
    ASSERT_TRUE(pid.command) << pid.error;
    EXPECT_EQ(pid.command->desktop, DesktopAction::ActivateProcess);
    EXPECT_EQ(pid.command->processIdentifier, 2147483647);
    EXPECT_FALSE(parse({"desktop", "trust", "false"}).command->trusted);
    EXPECT_TRUE(parse({"desktop", "trust", "true"}).command->trusted);
}

TEST(KivoractlCommandLine, HelpEverywhere) {
    const std::vector<std::vector<std::string>> general = {{"--help"}, {"-h"}, {"help"}};
    for (const auto& args : general) {
        auto parsed = parse(args);
        ASSERT_TRUE(parsed.command) << parsed.error;
        EXPECT_EQ(parsed.command->action, Action::Help);
        EXPECT_EQ(parsed.command->helpText, generalHelp());
    }
    for (const char* name :
         {"current", "system", "press", "key", "permission", "quit", "desktop"}) {
        SCOPED_TRACE(name);
        auto viaOption = parse({name, "--help"});
        auto viaHelp = parse({"help", name});
        ASSERT_TRUE(viaOption.command && viaHelp.command);
        EXPECT_EQ(viaOption.command->action, Action::Help);
        EXPECT_EQ(viaOption.command->helpText, viaHelp.command->helpText);
        EXPECT_TRUE(
            viaOption.command->helpText.starts_with(std::string("Usage: kivoractl ") + name));
    }
    // --help wins over missing or bad arguments.
    EXPECT_EQ(parse({"press", "--help"}).command->action, Action::Help);
    EXPECT_EQ(parse({"desktop", "trust", "maybe", "-h"}).command->action, Action::Help);
}

TEST(KivoractlCommandLine, UsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"current", "extra"},
        {"quit", "--json"},
        {"press"},
        {"press", ""},
        {"press", "\xC3("},
        {"key", "49"},
        {"key", "x", "0"},
        {"key", "0x31", "0"},
        {"current", "--verbose"},
        {"current", "--timeout"},
        {"current", "--timeout", "0"},
        {"current", "--timeout", "5s"},
        {"current", "--timeout", "3601"},
        {"desktop"},
        {"desktop", "explode"},
        {"desktop", "activate", ""},
        {"desktop", "activate-pid", "2147483648"},
        {"desktop", "trust", "yes"},
    };
    for (const auto& args : bad) {
        std::string joined;
        for (const auto& a : args) {
            joined += "[" + a + "]";
        }
        SCOPED_TRACE(joined);
        const auto parsed = parse(args);
        EXPECT_FALSE(parsed.command);
        EXPECT_FALSE(parsed.error.empty());
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace kivoractl
