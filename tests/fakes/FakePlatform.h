#pragma once
// Every port as an in-memory fake, wired into one Platform.

#include "fakes/TestAccessibility.h"
#include "fakes/FakeBundle.h"
#include "fakes/FakeConsole.h"
#include "fakes/FakeEventTap.h"
#include "fakes/FakeNotificationCenter.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeRunLoop.h"
#include "fakes/FakeWorkspace.h"
#include "platform/Platform.h"

namespace kivora::fake {

struct FakePlatform {
    FakeNotificationCenter center;
    FakeWorkspace workspace;
    TestAccessibility accessibility;
    FakePreferences preferences;
    FakeBundle bundle;
    FakeEventTap eventTap;
    FakeRunLoop runLoop;
    FakeConsole console;

    Platform platform() {
        return Platform{center,  workspace, accessibility, preferences,
                        bundle,  eventTap,  runLoop,       console};
    }
};

}  // namespace kivora::fake
