// The simulated desktop on Linux: desktop files read and refused with their place, the
// control calls, and the frontmost observation delivered from the event loop.

#include "platform/linux/SimulatedDesktop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kivora::linux_ {
namespace {

std::unique_ptr<SimulatedDesktop> desktopFrom(const std::string& text, sd_event* event) {
    std::string error;
    auto model = SimulatedDesktop::parse(text, "test.json", error);
    EXPECT_TRUE(model) << error;
    return std::make_unique<SimulatedDesktop>(model ? std::move(*model) : SimulatedDesktopModel(),
                                              event, nullptr);
}

const char* const kTwo = R"({"frontmost": "com.example.Editor", "applications": [
    {"bundleIdentifier": "com.example.Editor", "processIdentifier": 4242},
    {"bundleIdentifier": "com.example.Terminal", "processIdentifier": 77},
    {"processIdentifier": 9}]})";

TEST(SimulatedDesktopLoad, UnreadableFilesAreNamedOnOneLine) {
    std::string error;
    EXPECT_FALSE(SimulatedDesktop::load("/nonexistent/desk.json", error));
    EXPECT_EQ(error,
              "/nonexistent/desk.json: cannot read the desktop file: No such file or "
              "directory");
    EXPECT_FALSE(SimulatedDesktop::load("/tmp", error));
    EXPECT_EQ(error, "/tmp: cannot read the desktop file: is a directory");

    char path[] = "/tmp/kivora-desktop-XXXXXX";
    close(mkstemp(path));
    std::ofstream(path) << "{ \"applications\": [ }\n";
    EXPECT_FALSE(SimulatedDesktop::load(path, error));
    EXPECT_EQ(error.rfind(std::string(path) + ": ", 0), 0u) << error;
    EXPECT_NE(error.find("JSON"), std::string::npos) << error;
    unlink(path);

    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(SimulatedDesktop::parse(deep, "deep.json", error));
    EXPECT_NE(error.find("nested"), std::string::npos) << error;
    EXPECT_FALSE(SimulatedDesktop::parse("{}", "a\nb.json", error));
    EXPECT_EQ(error, "a b.json: the document has no applications array");
}

TEST(SimulatedDesktopLoad, WrongShapesAreRefusedWithTheirPlace) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[]", "the document must be an object, not an array"},
        {R"({"applications": {}})", "applications: must be an array"},
        {R"({"applications": [3]})", "applications[0]: must be an object"},
        {R"({"applications": [{}]})", "applications[0]: has no processIdentifier"},
        {R"({"applications": [{"processIdentifier": 0}]})", "applications[0].processIdentifier:"},
        {R"({"applications": [{"processIdentifier": 5}, {"processIdentifier": 5}]})",
         "applications[1].processIdentifier: process identifier 5 is used by an earlier"},
        {R"({"applications": [{"processIdentifier": 5, "bundleIdentifier": 1}]})",
         "applications[0].bundleIdentifier: must be a string or null"},
        {R"({"applications": [{"processIdentifier": 5, "bundelIdentifier": "x"}]})",
         "applications[0].bundelIdentifier: is not a known application key"},
        {R"({"applications": [], "trusted": 1})", "trusted: must be true or false"},
        {R"({"applications": [], "frontmost": "x.y"})", "frontmost: no application has the"},
        {R"({"applications": [{"processIdentifier": 5, "menuBar": {"AXChildren": [{},
            {"AXErrors": {"AXTitle": "bad"}}]}}]})",
         "applications[0].menuBar.AXChildren[1].AXErrors.AXTitle: must be an error code"},
        {R"({"applications": [{"processIdentifier": 5, "menuBar": {"AXDelayMs": -1}}]})",
         "applications[0].menuBar.AXDelayMs: must be a whole number of milliseconds"},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_FALSE(SimulatedDesktop::parse(text, "test.json", error)) << text;
        EXPECT_EQ(error.rfind("test.json: " + expected, 0), 0u) << error;
    }
}

TEST(SimulatedDesktopLoad, ShippedDesktops) {
    std::vector<std::string> files = {KIVORA_SOURCE_DIR "/resources/bundle/demo-desktop.json"};
    for (const auto& entry :
         std::filesystem::directory_iterator(KIVORA_SOURCE_DIR "/resources/desktops")) {
        files.push_back(entry.path().string());
    }
    for (const auto& file : files) {
        std::string error;
        auto shipped = SimulatedDesktop::load(file, error);
        ASSERT_TRUE(shipped) << error;
        EXPECT_NE(shipped->frontmost, nullptr) << file;
    }
}

TEST(SimulatedDesktopLoad, OptionalParts) {
    auto desktop = desktopFrom(R"({"frontmost": null, "applications": [
        {"processIdentifier": 1, "bundleIdentifier": null}, {"processIdentifier": 2}]})",
                               nullptr);
    EXPECT_EQ(desktop->workspace().frontmostApplication(), nullptr);
    EXPECT_TRUE(desktop->accessibility().isProcessTrusted());
    ASSERT_TRUE(desktop->activateProcess(2));
    EXPECT_EQ(desktop->workspace().frontmostApplication()->bundleIdentifier(), std::nullopt);
    auto byPid =
        desktopFrom(R"({"frontmost": 2, "applications": [{"processIdentifier": 2}]})", nullptr);
    EXPECT_EQ(byPid->workspace().frontmostApplication()->processIdentifier(), 2);
}

TEST(SimulatedDesktopLoop, ChangesAreObservedOnTheNextIterationAheadOfTheBus) {
    sd_event* event = nullptr;
    ASSERT_GE(sd_event_new(&event), 0);
    auto desktop = desktopFrom(kTwo, event);
    std::vector<std::string> observed;
    desktop->workspace().addObserver("frontmostApplication", [&](const auto&) {
        auto app = desktop->workspace().frontmostApplication();
        observed.push_back(app ? app->bundleIdentifier().value_or("?") : "nobody");
    });
    auto runPending = [event] {
        int ran = 0;
        while (sd_event_run(event, 0) > 0)
            ++ran;
        return ran;
    };
    ASSERT_EQ(desktop->attach(), 0);
    EXPECT_TRUE(observed.empty()) << "never inside the call that made the change";
    EXPECT_EQ(runPending(), 1);
    EXPECT_EQ(observed, std::vector<std::string>{"com.example.Editor"}) << "the start";

    // The control calls, each a change observed once.
    ASSERT_TRUE(desktop->activate("com.example.Terminal"));
    ASSERT_TRUE(desktop->activate("com.example.Terminal"));
    EXPECT_EQ(runPending(), 1);
    ASSERT_TRUE(desktop->activateProcess(0));
    EXPECT_EQ(runPending(), 1);
    ASSERT_TRUE(desktop->activateProcess(4242));
    ASSERT_TRUE(desktop->quit("com.example.Editor"));
    EXPECT_EQ(runPending(), 1);
    EXPECT_EQ(observed, (std::vector<std::string>{"com.example.Editor", "com.example.Terminal",
                                                  "nobody", "nobody"}));
    EXPECT_FALSE(desktop->quit("com.example.Editor"));
    EXPECT_FALSE(desktop->activate("com.example.Nothing"));
    EXPECT_FALSE(desktop->activateProcess(-4));
    EXPECT_EQ(runPending(), 0);
    EXPECT_EQ(desktop->attach(), -EALREADY);
    desktop.reset();
    sd_event_unref(event);
}

}  // namespace
}  // namespace kivora::linux_
