#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "unit/LaunchedDelegate.h"

namespace kivora::testing {
namespace {

// A desktop with the usual cast, addressed by short labels in the tables below.
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

    void switchTo(const std::string& label) { fakes.workspace.switchTo(apps.at(label)); }

    std::string target() const {
        for (const auto& [label, app] : apps) {
            if (app == delegate.previousActiveApplication) {
                return label;
            }
        }
        return "unknown";
    }
};

struct TrackingCase {
    std::vector<std::string> switches;
    std::string target;
};

void runCases(const std::vector<TrackingCase>& cases, bool helperBundleHasIdentifier) {
    for (const auto& c : cases) {
        Desktop d;
        if (!helperBundleHasIdentifier) {
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

TEST(FrontApplicationTracking, TheTargetIsTheLastAppOtherThanHelperAndMainApp) {
    runCases(
        {
            {{}, "none"},
            {{"A", "main"}, "A"},
            {{"A", "B", "main"}, "B"},
            {{"A", "helper"}, "A"},
            {{"A", "main", "helper", "main"}, "A"},
            {{"main", "helper"}, "none"},
            {{"A", "A"}, "A"},  // the harvest activating the target itself
            {{"A", "noId"}, "noId"},
            {{"A", "none"}, "none"},
            {{"A", "none", "B"}, "B"},
            // Only the exact main-application identifier is the main application.
            {{"A", "mainLowerCase"}, "mainLowerCase"},
        },
        /*helperBundleHasIdentifier=*/true);
}

TEST(FrontApplicationTracking, WithoutItsOwnIdentifierTheHelperCountsAsAnyUnidentifiedApp) {
    // Two absent identifiers are equal: an app without one, or no app at all, looks like the
    // helper; an identified helper now looks like any other application.
    runCases(
        {
            {{"A", "noId"}, "A"},
            {{"A", "none"}, "A"},
            {{"A", "main"}, "A"},
            {{"A", "helper"}, "helper"},
        },
        /*helperBundleHasIdentifier=*/false);
}

TEST(FrontApplicationTracking, OnlyTheFrontmostKeyPathCounts) {
    Desktop d;
    d.switchTo("A");
    d.fakes.workspace.setFrontmost(d.apps["B"]);  // changed, but not reported yet
    using KeyPath = std::optional<std::string>;
    for (const KeyPath& keyPath :
         {KeyPath(), KeyPath("FrontmostApplication"), KeyPath("runningApplications")}) {
        d.delegate.observeValueForKeyPath(keyPath);
        EXPECT_EQ(d.target(), "A") << keyPath.value_or("no key path");
    }
    d.fakes.workspace.flush();
    EXPECT_EQ(d.target(), "B");
}

}  // namespace
}  // namespace kivora::testing
