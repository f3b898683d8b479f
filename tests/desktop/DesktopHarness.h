#pragma once
// The desktop session shared by the tests of one program, started on first use, and the
// test applications in it.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DesktopSession.h"

namespace kivora::desktop {

// The session of this test program, or null (with the reason) when it cannot run here.
DesktopSession* sharedSession(std::string& whyNot);

// A test in the shared session, skipped when there is none.
class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override;
    // A test application (see DesktopSession::startTestApplication); null, with a test
    // failure, when it does not come up.
    std::unique_ptr<e2e::ChildProcess> startApp(const std::string& toolkit,
                                                const std::vector<std::string>& args = {});
    // The helper in the session once it owns its name, with HOME at `home` when given.
    std::unique_ptr<e2e::HelperProcess> startHelper(std::optional<std::string> home = {});

    DesktopSession* session_ = nullptr;
};

// The list the walker makes of the menus of both test applications (they have the same menus).
Array expectedTestApplicationList();

}  // namespace kivora::desktop
