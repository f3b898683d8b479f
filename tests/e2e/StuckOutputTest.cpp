// Standard output and error that nobody reads: the helper goes on answering, and SIGTERM
// still ends it with status 0.

#include <gtest/gtest.h>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/support/E2e.h"

namespace kivora::e2e {
namespace {

TEST(Fault, OutputNobodyReadsNeverStallsTheHelper) {
    TempDir files;
    const std::string fifo = files.path() + "/stuck";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Held open and never read: both streams of the helper fill this pipe and stay full.
    const int held = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    PrivateBus bus;
    ChildProcess helper({"/bin/sh",
                         {"-c", "exec \"$0\" --desktop \"$1\" >\"$2\" 2>&1", KIVORA_HELPER_PATH,
                          demoDesktop(), fifo},
                         {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}, {"HOME", files.path()}}});
    TestClient client(bus);
    ASSERT_TRUE(client.waitForName(kHelperObject));
    // Each request logs; sixty of them, with a flood of diagnostics, are far more than a
    // pipe holds.
    for (int i = 0; i < 60; ++i) {
        client.postRaw("i", i);
        client.post("GetSystemShortcut", kHelperObject);
        ASSERT_TRUE(client.waitFor("GetKeyCodeAndFlagsArr")) << "request " << i;
    }
    helper.signal(SIGTERM);
    EXPECT_TRUE(helper.waitForExit().exitedWith(0));
    ::close(held);
}

}  // namespace
}  // namespace kivora::e2e
