#pragma once
// Every port wired into one Platform: the simulated desktop's tree and workspace, and
// in-memory fakes for the rest.

#include <utility>

#include "fakes/FakeBundle.h"
#include "fakes/FakeConsole.h"
#include "fakes/FakeEventTap.h"
#include "fakes/FakeNotificationCenter.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeRunLoop.h"
#include "fakes/TestAccessibility.h"
#include "platform/Platform.h"
#include "platform/simulated/SimulatedWorkspace.h"

namespace kivora::fake {

// The simulated workspace over the test accessibility's desktop. Changes reach the observer
// only in deliver(), as after the current callback.
class TestWorkspace : public simulated::SimulatedWorkspace {
public:
    explicit TestWorkspace(simulated::SimulatedDesktopModel& model)
        : SimulatedWorkspace(model), model_(model) {}

    // The application of that process (the one the accessibility holds, if any).
    RunningApplicationRef addApplication(std::optional<std::string> bundleId, std::int32_t pid) {
        auto app = model_.application(pid);
        if (app) {
            app->bundleIdentifier = std::move(bundleId);
        } else {
            app = model_.addApplication(pid, std::move(bundleId), nullptr);
        }
        // The workspace hands out one object per application: borrow the front to get it.
        auto front = std::exchange(model_.frontmost, app);
        auto ref = frontmostApplication();
        model_.frontmost = front;
        return ref;
    }
    void setFrontmost(const RunningApplicationRef& app) {
        SimulatedWorkspace::setFrontmost(app ? model_.application(app->processIdentifier())
                                             : nullptr);
    }

private:
    simulated::SimulatedDesktopModel& model_;
};

struct FakePlatform {
    FakeNotificationCenter center;
    TestAccessibility accessibility;
    TestWorkspace workspace{accessibility.desktop};
    FakePreferences preferences;
    FakeBundle bundle;
    FakeEventTap eventTap;
    FakeRunLoop runLoop;
    FakeConsole console;

    Platform platform() {
        return Platform{center, workspace, accessibility, preferences,
                        bundle, eventTap,  runLoop,       console};
    }
};

}  // namespace kivora::fake
