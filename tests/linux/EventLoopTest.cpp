// The run loop over sd-event: timers, pauses, and the orderly end.

#include <gtest/gtest.h>

#include "platform/linux/EventLoop.h"

namespace kivora::linux_ {
namespace {

constexpr double kTick = 0.001;

class EventLoopTest : public ::testing::Test {
protected:
    // A hung loop fails the test instead of hanging the suite.
    int run() {
        TimerRef guard = loop_.scheduledTimer(10.0, false, [this] {
            ADD_FAILURE() << "the loop did not end";
            loop_.exit(99);
        });
        const int status = loop_.run();
        guard->invalidate();
        return status;
    }

    EventLoop loop_;
};

TEST_F(EventLoopTest, TimersFireAsAskedAndNeverOnceInvalidated) {
    int fired = 0, once = 0;
    bool cancelledFired = false;
    TimerRef repeating = loop_.scheduledTimer(kTick, true, [&] {
        if (++fired == 3) {
            // What the permission poll does: stop the timer and drop the only outside
            // reference, from inside the timer's own callback.
            repeating->invalidate();
            repeating.reset();
            loop_.scheduledTimer(5 * kTick, false, [&] { loop_.terminate(); });
        }
    });
    TimerRef oneShot = loop_.scheduledTimer(kTick, false, [&] { ++once; });
    TimerRef cancelled = loop_.scheduledTimer(kTick, false, [&] { cancelledFired = true; });
    cancelled->invalidate();
    cancelled->invalidate();  // idempotent
    EXPECT_FALSE(cancelled->isValid());
    EXPECT_TRUE(repeating->isValid());
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(once, 1);
    EXPECT_FALSE(oneShot->isValid());
    EXPECT_FALSE(cancelledFired);

    TimerRef survivor;  // outliving its loop: never fires, and may still be invalidated
    {
        EventLoop loop;
        survivor = loop.scheduledTimer(kTick, true, [] {});
    }
    EXPECT_FALSE(survivor->isValid());
    survivor->invalidate();
}

TEST_F(EventLoopTest, TerminateEndsAfterTheCurrentCallbackWithTheShutdownStepOnce) {
    int shutdowns = 0;
    bool laterFired = false;
    bool restOfCallbackRan = false;
    loop_.setWillTerminate([&] { ++shutdowns; });
    // Both due at once: the first ends the application, so the second must not run.
    loop_.scheduledTimer(0, false, [&] {
        loop_.terminate();
        loop_.terminate();
        restOfCallbackRan = true;
    });
    loop_.scheduledTimer(0, false, [&] { laterFired = true; });
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(shutdowns, 1);
    EXPECT_TRUE(restOfCallbackRan);
    EXPECT_FALSE(laterFired);
}

TEST_F(EventLoopTest, SleepForBlocksWithoutRunningCallbacks) {
    bool otherFired = false;
    bool firedDuringSleep = true;
    loop_.scheduledTimer(0, false, [&] {
        loop_.scheduledTimer(kTick, false, [&] {
            otherFired = true;
            loop_.terminate();
        });
        loop_.sleepFor(20 * kTick);
        firedDuringSleep = otherFired;
    });
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(firedDuringSleep);
    EXPECT_TRUE(otherFired);
}

}  // namespace
}  // namespace kivora::linux_
