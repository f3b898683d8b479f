#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "unit/LaunchedDelegate.h"

namespace kivora::testing {
namespace {

// A desktop with the usual cast, addressed by short labels.
struct Desktop : LaunchedDelegate {
    std::map<std::string, RunningApplicationRef> apps;

    Desktop() {
        auto& ws = fakes.workspace;
        apps["A"] = ws.addApplication("com.example.A", 101);
        apps["B"] = ws.addApplication("com.example.B", 102);
        apps["main"] = ws.addApplication(kMainAppId, 103);
        apps["helper"] = ws.addApplication(kHelperId, 104);
        apps["noId"] = ws.addApplication(std::nullopt, 105);
        apps["mainLowerCase"] = ws.addApplication("org.morvane.kivora", 106);
        apps["none"] = nullptr;  // no frontmost application at all
    }
    void switchTo(const std::string& label) {
        fakes.workspace.setFrontmost(apps.at(label));
        fakes.workspace.deliver();
    }
    std::string target() const {
        for (const auto& [label, app] : apps) {
            if (app == delegate.previousActiveApplication) {
                return label;
            }
        }
        return "unknown";
    }
};

TEST(FrontApplicationTracking, TheTargetIsTheLastAppOtherThanHelperAndMainApp) {
    const struct {
        bool helperHasIdentifier;
        std::vector<std::string> switches;
        std::string target;
    } cases[] = {
        {true, {}, "none"},
        {true, {"A", "main"}, "A"},
        {true, {"A", "helper"}, "A"},
        {true, {"main", "helper"}, "none"},
        {true, {"A", "noId"}, "noId"},
        {true, {"A", "none"}, "none"},
        // Only the exact main-application identifier is the main application.
        {true, {"A", "mainLowerCase"}, "mainLowerCase"},
        // Without its own identifier the helper looks like any unidentified application (or
        // none at all), and an identified helper like any other application.
        {false, {"A", "noId"}, "A"},
        {false, {"A", "none"}, "A"},
        {false, {"A", "main"}, "A"},
        {false, {"A", "helper"}, "helper"},
    };
    for (const auto& c : cases) {
        Desktop d;
        if (!c.helperHasIdentifier) {
            d.fakes.bundle.identifier = std::nullopt;
        }
        std::string trace;
        for (const auto& label : c.switches) {
            d.switchTo(label);
            trace += label + " ";
        }
        EXPECT_EQ(d.target(), c.target) << "after switching to " << trace;
    }
}

TEST(FrontApplicationTracking, OnlyTheFrontmostKeyPathCountsUntilShutdown) {
    Desktop d;
    d.switchTo("A");
    d.fakes.workspace.setFrontmost(d.apps["B"]);  // changed, but not reported yet
    using KeyPath = std::optional<std::string>;
    for (const KeyPath& keyPath :
         {KeyPath(), KeyPath("FrontmostApplication"), KeyPath("runningApplications")}) {
        d.delegate.observeValueForKeyPath(keyPath);
        EXPECT_EQ(d.target(), "A") << keyPath.value_or("no key path");
    }
    d.delegate.applicationWillTerminate();
    d.switchTo("noId");
    EXPECT_EQ(d.target(), "A") << "the observation ended";
    // The notification subscriptions end with the process, not here.
    EXPECT_EQ(d.post("GetSystemShortcut"), 4);
}

}  // namespace
}  // namespace kivora::testing
