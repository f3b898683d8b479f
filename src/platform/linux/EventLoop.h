#pragma once
// The run loop of the helper's main thread, over sd-event: timers, pauses, and the orderly
// end of the application.

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/RunLoop.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_ {

class EventLoop : public RunLoop {
public:
    // A loop over a fresh sd-event object, or over `event` when given.
    EventLoop();
    explicit EventLoop(sd_event* event);
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;
    // Invalidates every timer still scheduled.
    ~EventLoop() override;

    TimerRef scheduledTimer(double interval, bool repeats, std::function<void()> fire) override;
    void sleepFor(double seconds) override;
    double monotonicSeconds() const override;
    std::string currentThreadDescription() const override;
    // Ends the loop after the current callback returns: runs the will-terminate handler once,
    // then the loop exits with status 0. Later calls do nothing.
    void terminate() override;

    // What the framework does between terminate() and the exit (the delegate's
    // applicationWillTerminate).
    void setWillTerminate(std::function<void()> handler) { willTerminate_ = std::move(handler); }

    // Routes these signals into terminate(). Blocks them for the process so that they arrive
    // through the loop; negative errno on failure.
    int terminateOnSignals(std::initializer_list<int> signals);

    // Runs until the loop exits; returns the exit status (negative errno if the loop failed).
    int run();
    // Ends the loop at once with `status`, without the will-terminate handler (for failures).
    void exit(int status);

    sd_event* event() const { return event_.get(); }
    bool terminating() const { return terminating_; }

private:
    class EventTimer;
    friend class EventTimer;

    static int onTerminate(sd_event_source* source, void* userdata);
    static int onSignal(sd_event_source* source, const struct signalfd_siginfo* info,
                        void* userdata);

    EventPtr event_;
    std::map<const EventTimer*, std::shared_ptr<EventTimer>> timers_;  // kept alive while due
    EventSourcePtr terminateSource_;
    std::vector<EventSourcePtr> signalSources_;
    std::function<void()> willTerminate_;
    bool terminating_ = false;
};

}  // namespace kivora::linux_
