// Permission stories from a step file: what each request, grant and wait writes, replies,
// polls and prompts.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "unit/LaunchedDelegate.h"

namespace kivora::testing {
namespace {

using Lines = std::vector<std::string>;

const std::map<std::string, std::string> kLines = {{"E", "已开启辅助功能"},
                                                   {"N", "没有开启辅助功能"},
                                                   {"T", "accessEnabled: true"},
                                                   {"F", "accessEnabled: false"}};

TEST(AccessibilityPermission, StoriesOfTheStepFile) {
    std::ifstream file(KIVORA_SOURCE_DIR "/tests/data/unit/permission-steps.txt");
    ASSERT_TRUE(file);
    std::unique_ptr<LaunchedDelegate> h;
    std::size_t stories = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line.starts_with("#"))
            continue;
        if (line.starts_with("story ")) {
            h = std::make_unique<LaunchedDelegate>();
            h->fakes.accessibility.desktop.trusted = line == "story trusted";
            ++stories;
            continue;
        }
        std::istringstream in(line);
        std::string action, word;
        in >> action >> word;  // and "=>"
        auto& desktop = h->fakes.accessibility.desktop;
        if (action == "request") {
            h->post("AccessibilityStatus", std::nullopt);
        } else if (action == "trust" || action == "distrust") {
            desktop.trusted = action == "trust";
        } else {
            h->fakes.runLoop.advance(std::stod(action));
        }
        Lines expected;
        while (in >> word && word != "|")
            expected.push_back(kLines.at(word));
        std::size_t replies = 0, timers = 0;
        std::uint32_t prompts = 0;
        in >> replies >> timers >> prompts;
        SCOPED_TRACE("story " + std::to_string(stories) + ": " + line);
        EXPECT_EQ(h->fakes.console.lines, expected);
        h->fakes.console.lines.clear();
        EXPECT_EQ(h->fakes.center.posts.size(), replies);
        EXPECT_EQ(h->fakes.runLoop.validTimerCount(), timers);
        EXPECT_EQ(h->delegate.timer != nullptr, timers > 0);
        EXPECT_EQ(desktop.promptCount, prompts);
        EXPECT_EQ(h->delegate.isPopupShown, prompts > 0);
    }
    EXPECT_EQ(stories, 3u);
}

}  // namespace
}  // namespace kivora::testing
