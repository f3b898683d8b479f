#pragma once
// Port: the main thread's run loop, its timers, and the application's end.

#include <functional>
#include <memory>
#include <string>

namespace kivora {

class Timer {
public:
    virtual ~Timer() = default;
    // Stops the timer for good; it never fires again. Idempotent.
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};
using TimerRef = std::shared_ptr<Timer>;

class RunLoop {
public:
    virtual ~RunLoop() = default;

    // Schedules `fire` on this run loop, first after `interval` seconds, then every `interval`
    // seconds when `repeats`. The run loop keeps the timer alive until it is invalidated (or,
    // when not repeating, has fired).
    virtual TimerRef scheduledTimer(double interval, bool repeats, std::function<void()> fire) = 0;

    // Blocks the calling thread for `seconds` without running any callback
    // (sleepUntilDate: with a moment that many seconds from now).
    virtual void sleepFor(double seconds) = 0;

    // Seconds on a clock that only moves forward (not wall time); for measuring how long
    // something took.
    virtual double monotonicSeconds() const = 0;

    // The platform's textual description of the current thread object.
    virtual std::string currentThreadDescription() const = 0;

    // Asks the application to end: once the current callback returns, the framework calls the
    // delegate's applicationWillTerminate and the process exits with status 0.
    virtual void terminate() = 0;
};

}  // namespace kivora
