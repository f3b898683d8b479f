// kivoractl against the real helper on a private bus, and against a bus where nobody answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e/support/E2e.h"

namespace kivora::e2e {
namespace {

const char* const kDesktop = R"({
  "trusted": true,
  "frontmost": "com.example.Other",
  "applications": [
    { "bundleIdentifier": "com.example.Other", "processIdentifier": 100 },
    { "bundleIdentifier": "com.example.Editor", "processIdentifier": 4242,
      "menuBar": { "AXChildren": [
        { "AXTitle": "Apple" },
        { "AXTitle": "Editor", "AXChildren": [ { "AXChildren": [
          { "AXTitle": "Quit Editor", "AXEnabled": true, "AXMenuItemCmdChar": "Q",
            "AXMenuItemCmdModifiers": 0 } ] } ] },
        { "AXTitle": "File", "AXChildren": [ { "AXChildren": [
          { "AXTitle": "Save", "AXEnabled": true, "AXMenuItemCmdChar": "S",
            "AXMenuItemCmdModifiers": 0 },
          { "AXTitle": "Save As…", "AXEnabled": true, "AXMenuItemCmdChar": "S",
            "AXMenuItemCmdModifiers": 3 } ] } ] } ] } }
  ]
})";

// Two user shortcuts; every other row comes from the bundle's default file.
const char* const kPreferences = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>AppleSymbolicHotKeys</key><dict>
  <key>64</key><dict><key>enabled</key><true/><key>value</key><dict>
    <key>parameters</key><array><integer>32</integer><integer>49</integer><integer>1048576</integer></array>
    <key>type</key><string>standard</string></dict></dict>
  <key>28</key><dict><key>enabled</key><true/><key>value</key><dict>
    <key>parameters</key><array><integer>51</integer><integer>20</integer><integer>1179648</integer></array>
    <key>type</key><string>standard</string></dict></dict>
</dict></dict></plist>
)";

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) {
        out += line + "\n";
    }
    return out;
}

bool contains(const std::vector<std::string>& lines, const std::string& fragment) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(fragment) != std::string::npos;
    });
}

class KivoractlWithHelper : public ::testing::Test {
protected:
    void SetUp() override {
        files.write("home/Library/Preferences/com.apple.symbolichotkeys.plist", kPreferences);
        helper = std::make_unique<HelperProcess>(
            bus, HelperOptions{
                     {"--desktop", files.write("desktop.json", kDesktop)}, files.file("home"), {}});
        ASSERT_TRUE(helper->waitUntilOwnsName()) << helper->describe();
    }

    RunResult run(const std::vector<std::string>& args) { return runKivoractl(bus, args); }

    PrivateBus bus;
    TempDir files;
    std::unique_ptr<HelperProcess> helper;
};

TEST_F(KivoractlWithHelper, MenuSheetAndPress) {
    ASSERT_TRUE(run({"desktop", "activate", "com.example.Editor"}).status.exitedWith(0));

    auto current = run({"current"});
    ASSERT_TRUE(current.status.exitedWith(0)) << joined(current.err);
    EXPECT_EQ(joined(current.out),
              "Editor\n"
              "======\n"
              "\n"
              "Editor\n"
              "  Quit Editor    ⌘Q\n"
              "\n"
              "File\n"
              "  Save           ⌘S\n"
              "  Save As…     ⌥⇧⌘S\n"
              "\n"
              "3 shortcuts\n");

    auto json = run({"current", "--json"});
    ASSERT_TRUE(json.status.exitedWith(0)) << joined(json.err);
    const auto document = nlohmann::json::parse(joined(json.out));
    ASSERT_TRUE(document["currentShortcut"].is_array());
    EXPECT_EQ(document["currentShortcut"].back(), "Editor");
    EXPECT_EQ(document["currentShortcut"][1]["MenuItemCmdChar"], "Q");

    auto press = run({"press", "Save As…"});
    ASSERT_TRUE(press.status.exitedWith(0)) << joined(press.err);
    // press returns once the helper has handled the request, so the desktop has seen it.
    auto pressed = run({"desktop", "pressed"});
    EXPECT_EQ(pressed.out, std::vector<std::string>{"File/Save As…"});
}

TEST_F(KivoractlWithHelper, SystemSheetThenOnlyOfferedKeystrokes) {
    auto system = run({"system"});
    ASSERT_TRUE(system.status.exitedWith(0)) << joined(system.err);
    EXPECT_TRUE(contains(system.out, "Spotlight")) << joined(system.out);
    EXPECT_TRUE(contains(system.out, "⌘SPACE  key 49 1048576")) << joined(system.out);
    EXPECT_TRUE(contains(system.out, "⇧⌘3")) << joined(system.out);

    auto json = run({"system", "--json"});
    ASSERT_TRUE(json.status.exitedWith(0)) << joined(json.err);
    const auto document = nlohmann::json::parse(joined(json.out));
    EXPECT_TRUE(document["getSystemShortcutResponse"]["systemShortcut"].is_array());
    const auto& pairs = document["GetKeyCodeAndFlagsArr"]["keyCodeAndFlagsArrData"];
    ASSERT_TRUE(pairs.is_array());
    EXPECT_NE(
        std::find(pairs.begin(), pairs.end(), nlohmann::json{{"keyCode", 49}, {"flags", 1048576}}),
        pairs.end());

    ASSERT_TRUE(run({"key", "49", "1048576"}).status.exitedWith(0));
    // Not handed out: refused by the helper, nothing reaches the desktop, and kivoractl says so.
    auto refused = run({"key", "12", "1048576"});
    EXPECT_TRUE(refused.status.exitedWith(1));
    EXPECT_TRUE(contains(refused.err, "the desktop saw no keystroke")) << joined(refused.err);
    auto keys = run({"desktop", "keys"});
    ASSERT_TRUE(keys.status.exitedWith(0)) << joined(keys.err);
    EXPECT_EQ(keys.out, (std::vector<std::string>{"down    49 SPACE   flags 1048576 ⌘",
                                                  "up      49 SPACE   flags 1048576 ⌘"}));
    EXPECT_TRUE(helper->waitForLine("拒绝发送未提供的快捷键: keyCode=12, flags=1048576"))
        << helper->describe();
}

TEST_F(KivoractlWithHelper, PermissionDesktopErrorsAndQuit) {
    ASSERT_TRUE(run({"desktop", "trust", "false"}).status.exitedWith(0));
    auto waiting = run({"permission", "--timeout", "0.5"});
    EXPECT_TRUE(waiting.status.exitedWith(1));
    EXPECT_TRUE(waiting.out.empty());
    EXPECT_TRUE(contains(waiting.err, "Waiting up to 0.5 s")) << joined(waiting.err);
    EXPECT_TRUE(
        contains(waiting.err, "no AccessibilityStatusResponse from the helper within 0.5 s"))
        << joined(waiting.err);
    EXPECT_EQ(run({"desktop", "prompts"}).out, std::vector<std::string>{"1"});

    ASSERT_TRUE(run({"desktop", "trust", "true"}).status.exitedWith(0));
    auto granted = run({"permission"});
    EXPECT_TRUE(granted.status.exitedWith(0)) << joined(granted.err);
    EXPECT_TRUE(contains(granted.out, "Accessibility permission: granted"));

    auto unknown = run({"desktop", "activate", "com.example.Missing"});
    EXPECT_TRUE(unknown.status.exitedWith(1));
    EXPECT_TRUE(contains(unknown.err, "NoSuchApplication")) << joined(unknown.err);

    auto quit = run({"quit"});
    EXPECT_TRUE(quit.status.exitedWith(0)) << joined(quit.err);
    EXPECT_TRUE(helper->waitForExit().exitedWith(0));
    auto after = run({"current"});
    EXPECT_TRUE(after.status.exitedWith(1));
    EXPECT_TRUE(contains(after.err, "the helper is not running")) << joined(after.err);
}

TEST(Kivoractl, UsageAndMissingBus) {
    PrivateBus bus;
    auto help = runKivoractl(bus, {"--help"});
    EXPECT_TRUE(help.status.exitedWith(0));
    EXPECT_TRUE(help.out.at(0).starts_with("Usage: kivoractl"));
    EXPECT_TRUE(help.err.empty());

    auto usage = runKivoractl(bus, {"key", "49"});
    EXPECT_TRUE(usage.status.exitedWith(2));
    EXPECT_TRUE(usage.out.empty());
    EXPECT_EQ(usage.err.back(), "Try 'kivoractl --help'.");

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"current"}, {"press", "Save", "--no-start"}, {"quit"}, {"desktop", "keys"}}) {
        // Nothing on this bus can start it: the message says how to.
        auto absent = runKivoractl(bus, args);
        EXPECT_TRUE(absent.status.exitedWith(1)) << args[0];
        EXPECT_TRUE(contains(absent.err, "the helper is not running")) << joined(absent.err);
        EXPECT_TRUE(contains(absent.err, "systemctl --user start kivoradata"));
    }

    auto noBus = runProcess(ProcessSpec{KIVORACTL_PATH,
                                        {"current"},
                                        {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/x"},
                                         {"XDG_RUNTIME_DIR", std::nullopt}}});
    EXPECT_TRUE(noBus.status.exitedWith(1));
    EXPECT_TRUE(contains(noBus.err, "cannot connect to the session bus")) << joined(noBus.err);
}

// A process that owns the helper's name but never answers: every wait ends at its timeout.
TEST(Kivoractl, SilentHelperTimesOut) {
    PrivateBus bus;
    TestClient silent(bus);
    ASSERT_GE(sd_bus_request_name(silent.bus(), kHelperBusName, 0), 0);

    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"current", "--timeout", "0.3"},
         "no GetCurrentShortcutResponse from the helper within 0.3 s"},
        {{"system", "--timeout", "0.3"},
         "no getSystemShortcutResponse and GetKeyCodeAndFlagsArr from the helper within 0.3 s"},
        {{"key", "49", "0", "--timeout", "0.3"}, "the helper did not confirm the request"},
        {{"quit", "--timeout", "0.3"}, "the helper is still running 0.3 s after TerminateSubApp"},
        {{"desktop", "prompts", "--timeout", "0.3"}, "desktop prompts: "},
    };
    for (const auto& [args, message] : cases) {
        auto result = runKivoractl(bus, args);
        EXPECT_TRUE(result.status.exitedWith(1)) << args[0] << ": " << result.status;
        EXPECT_TRUE(contains(result.err, message)) << joined(result.err);
    }
}

}  // namespace
}  // namespace kivora::e2e
