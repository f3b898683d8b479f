#pragma once
// The desktop session shared by the tests of one program, started on first use, and the
// test applications in it.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "DesktopSession.h"

namespace kivora::desktop {

// The session of this test program, or null (with the reason) when it cannot run here.
DesktopSession* sharedSession(std::string& whyNot);

// Skips the current test when there is no session.
#define KIVORA_REQUIRE_DESKTOP(session)                                         \
    std::string desktopWhyNot_;                                                 \
    DesktopSession* session = ::kivora::desktop::sharedSession(desktopWhyNot_); \
    if (session == nullptr) {                                                   \
        GTEST_SKIP() << "no desktop session: " << desktopWhyNot_;               \
    }

// The list the walker makes of the menus of both test applications (they have the same menus).
Array expectedTestApplicationList();

}  // namespace kivora::desktop
