// The simulated desktop on Linux: desktop files read and refused with their place, and the
// frontmost observation delivered from the event loop. Its control interface is driven by the
// end-to-end scenarios.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/SimulatedDesktop.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_ {
namespace {

const char* const kTwo = R"({"frontmost": "com.example.Editor", "applications": [
    {"bundleIdentifier": "com.example.Editor", "processIdentifier": 4242},
    {"bundleIdentifier": "com.example.Terminal", "processIdentifier": 77},
    {"processIdentifier": 9}]})";

std::unique_ptr<SimulatedDesktop> desktopFrom(const std::string& text, sd_event* event) {
    std::string error;
    auto model = SimulatedDesktop::parse(text, "test.json", error);
    EXPECT_TRUE(model) << error;
    return std::make_unique<SimulatedDesktop>(model ? std::move(*model) : SimulatedDesktopModel(),
                                              event, nullptr);
}

std::string front(SimulatedDesktop& desktop) {
    auto app = desktop.workspace().frontmostApplication();
    return app ? app->bundleIdentifier().value_or("?") : "nobody";
}

TEST(SimulatedDesktopLoad, BadDocumentsAreNamedOnOneLine) {
    std::string error;
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(SimulatedDesktop::parse(deep, "deep.json", error));
    EXPECT_NE(error.find("nested"), std::string::npos) << error;
    EXPECT_FALSE(SimulatedDesktop::parse("{}", "a\nb.json", error));
    EXPECT_EQ(error.rfind("a b.json: ", 0), 0u) << error;

    // Each bad desktop: its expected error, then the text on the next line.
    std::ifstream file(KIVORA_SOURCE_DIR "/tests/data/linux/bad-desktops.txt");
    int cases = 0;
    for (std::string expected, text; std::getline(file, expected);) {
        if (!expected.starts_with("#") && std::getline(file, text)) {
            EXPECT_FALSE(SimulatedDesktop::parse(text, "test.json", error)) << text;
            EXPECT_EQ(error.rfind("test.json: " + expected, 0), 0u) << error;
            ++cases;
        }
    }
    EXPECT_GT(cases, 10);
}

TEST(SimulatedDesktopLoad, ShippedDesktopsAndOptionalParts) {
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

    auto desktop = desktopFrom(R"({"frontmost": null, "applications": [
        {"processIdentifier": 1, "bundleIdentifier": null}, {"processIdentifier": 2}]})",
                               nullptr);
    EXPECT_EQ(front(*desktop), "nobody");
    EXPECT_TRUE(desktop->accessibility().isProcessTrusted());
    ASSERT_TRUE(desktop->activateProcess(2));
    EXPECT_EQ(front(*desktop), "?");
    auto byPid =
        desktopFrom(R"({"frontmost": 2, "applications": [{"processIdentifier": 2}]})", nullptr);
    EXPECT_EQ(byPid->workspace().frontmostApplication()->processIdentifier(), 2);
}

TEST(SimulatedDesktopLoop, ChangesAreObservedOnTheNextIterationOnce) {
    sd_event* e = nullptr;
    ASSERT_GE(sd_event_new(&e), 0);
    EventPtr event(e);
    auto desktop = desktopFrom(kTwo, e);
    std::vector<std::string> observed;
    desktop->workspace().addObserver("frontmostApplication",
                                     [&](const auto&) { observed.push_back(front(*desktop)); });
    auto runPending = [e] {
        int ran = 0;
        while (sd_event_run(e, 0) > 0)
            ++ran;
        return ran;
    };
    ASSERT_EQ(desktop->attach(), 0);
    EXPECT_TRUE(observed.empty()) << "never inside the call that made the change";
    EXPECT_EQ(runPending(), 1);
    ASSERT_TRUE(desktop->activate("com.example.Terminal"));
    ASSERT_TRUE(desktop->activate("com.example.Terminal"));
    EXPECT_EQ(runPending(), 1);
    EXPECT_EQ(observed, (std::vector<std::string>{"com.example.Editor", "com.example.Terminal"}));
    EXPECT_FALSE(desktop->activate("com.example.Nothing"));
    EXPECT_EQ(runPending(), 0);
    EXPECT_EQ(desktop->attach(), -EALREADY);
}

}  // namespace
}  // namespace kivora::linux_
