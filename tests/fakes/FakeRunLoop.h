#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/RunLoop.h"

namespace kivora::fake {

// A run loop whose clock only the test moves: timers fire inside advance(), pauses cost no
// wall time (they move the clock without firing anything).
class FakeRunLoop : public RunLoop {
public:
    TimerRef scheduledTimer(double interval, bool repeats, std::function<void()> fire) override;
    void sleepFor(double seconds) override;
    double monotonicSeconds() const override { return now; }
    std::string currentThreadDescription() const override {
        return "<_NSMainThread: 0x1>{number = 1, name = main}";
    }
    void terminate() override { ++terminateCount; }

    // Moves the clock forward, firing every timer that comes due, in time order.
    void advance(double seconds);
    // Timers that are scheduled and still valid.
    std::size_t validTimerCount() const;

    double now = 0.0;
    std::vector<double> sleeps;
    int terminateCount = 0;

private:
    struct FakeTimer;
    std::vector<std::shared_ptr<FakeTimer>> timers_;
};

}  // namespace kivora::fake
