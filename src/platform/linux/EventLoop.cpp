#include "platform/linux/EventLoop.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <system_error>
#include <thread>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

#include "platform/linux/Diagnostics.h"
#include "platform/linux/Errno.h"

namespace kivora::linux_ {

namespace {

constexpr std::uint64_t kMicrosecondsPerSecond = 1000000;
// sd-event's default accuracy is 250 ms; timers here are meant to the millisecond.
constexpr std::uint64_t kTimerAccuracy = 1000;
constexpr std::uint64_t kShortestInterval = 100;
// Longer intervals (infinity included) are clamped to this, about 31 years, so the arithmetic
// cannot overflow.
constexpr double kLongestInterval = 1e9;

std::uint64_t toMicroseconds(double seconds) {
    if (std::isnan(seconds) || seconds <= 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(std::min(seconds, kLongestInterval) * kMicrosecondsPerSecond);
}

std::uint64_t monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * kMicrosecondsPerSecond +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000;
}

}  // namespace

class EventLoop::EventTimer : public Timer, public std::enable_shared_from_this<EventTimer> {
public:
    EventTimer(EventLoop& loop, std::uint64_t interval, bool repeats, std::function<void()> fire)
        : loop_(&loop), interval_(interval), repeats_(repeats), fire_(std::move(fire)) {}

    int schedule() {
        sd_event_source* source = nullptr;
        const int r =
            sd_event_add_time_relative(loop_->event(), &source, CLOCK_MONOTONIC, interval_,
                                       kTimerAccuracy, &EventTimer::onTime, this);
        if (r < 0) {
            return r;
        }
        source_.reset(source);
        sd_event_source_set_enabled(source, repeats_ ? SD_EVENT_ON : SD_EVENT_ONESHOT);
        return 0;
    }

    void invalidate() override {
        if (!source_ && loop_ == nullptr) {
            return;
        }
        source_.reset();  // disables and releases; safe while the source is dispatching
        if (loop_ != nullptr) {
            EventLoop* loop = loop_;
            loop_ = nullptr;
            loop->timers_.erase(this);  // may release this object: touch nothing after
        }
    }

    bool isValid() const override { return static_cast<bool>(source_); }

private:
    static int onTime(sd_event_source* source, std::uint64_t due, void* userdata) {
        auto* timer = static_cast<EventTimer*>(userdata);
        // The callback may drop the last outside reference and invalidate: stay alive.
        std::shared_ptr<EventTimer> self = timer->shared_from_this();
        if (self->repeats_) {
            // Fixed rate from the first due time; ticks missed during a long callback are
            // skipped, not caught up.
            std::uint64_t next = due + self->interval_;
            const std::uint64_t now = monotonicNow();
            if (next <= now && self->interval_ > 0) {
                next += ((now - next) / self->interval_ + 1) * self->interval_;
            }
            sd_event_source_set_time(source, next);
        }
        try {
            self->fire_();
        } catch (const std::exception& e) {
            writeDiagnostic(std::string("a timer callback failed: ") + e.what());
        } catch (...) {
            writeDiagnostic("a timer callback failed");
        }
        if (!self->repeats_) {
            self->invalidate();
        }
        return 0;
    }

    EventLoop* loop_;  // null once invalidated or the loop is gone
    std::uint64_t interval_;
    bool repeats_;
    std::function<void()> fire_;
    EventSourcePtr source_;
};

EventLoop::EventLoop() {
    sd_event* event = nullptr;
    if (const int r = sd_event_new(&event); r < 0) {
        throw std::system_error(-r, std::generic_category(), "cannot create the event loop");
    }
    event_.reset(event);
}

EventLoop::EventLoop(sd_event* event) : event_(refEvent(event)) {}

EventLoop::~EventLoop() {
    // Timers may outlive the loop in their owners' hands; they must stop firing now.
    auto timers = std::move(timers_);
    for (auto& [raw, timer] : timers) {
        timer->invalidate();
    }
}

TimerRef EventLoop::scheduledTimer(double interval, bool repeats, std::function<void()> fire) {
    // Like the platform's timers: an interval of zero or less (or none at all) means 0.1 ms,
    // so a repeating timer can never spin.
    const std::uint64_t micros = std::max(toMicroseconds(interval), kShortestInterval);
    auto timer = std::make_shared<EventTimer>(*this, micros, repeats, std::move(fire));
    if (const int r = timer->schedule(); r < 0) {
        // The port has no failure path: report it and hand back a timer that never fires.
        writeDiagnostic("cannot schedule a timer: " + errnoText(r));
        timer->invalidate();
        return timer;
    }
    timers_.emplace(timer.get(), timer);
    return timer;
}

void EventLoop::sleepFor(double seconds) {
    const std::uint64_t micros = toMicroseconds(seconds);
    if (micros > 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(micros));
    }
}

double EventLoop::monotonicSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string EventLoop::currentThreadDescription() const {
    // The address of a per-thread object stands in for the thread object's address.
    static std::atomic<int> nextNumber{2};
    thread_local const int number =
        ::syscall(SYS_gettid) == ::getpid() ? 1 : nextNumber.fetch_add(1);
    thread_local const char marker = 0;
    char text[128];
    if (number == 1) {
        std::snprintf(text, sizeof text, "<_NSMainThread: %p>{number = 1, name = main}",
                      static_cast<const void*>(&marker));
    } else {
        std::snprintf(text, sizeof text, "<NSThread: %p>{number = %d, name = (null)}",
                      static_cast<const void*>(&marker), number);
    }
    return text;
}

void EventLoop::terminate() {
    if (terminating_) {
        return;
    }
    terminating_ = true;
    sd_event_source* source = nullptr;
    if (sd_event_add_defer(event(), &source, &EventLoop::onTerminate, this) < 0) {
        onTerminate(nullptr, this);
        return;
    }
    terminateSource_.reset(source);
    // Ahead of every other pending event (important ones included): nothing is handled
    // between terminate and the exit.
    sd_event_source_set_priority(source, SD_EVENT_PRIORITY_IMPORTANT - 1);
    sd_event_source_set_enabled(source, SD_EVENT_ONESHOT);
}

int EventLoop::onTerminate(sd_event_source*, void* userdata) {
    auto* loop = static_cast<EventLoop*>(userdata);
    if (loop->willTerminate_) {
        try {
            loop->willTerminate_();
        } catch (const std::exception& e) {
            writeDiagnostic(std::string("the shutdown step failed: ") + e.what());
        } catch (...) {
            writeDiagnostic("the shutdown step failed");
        }
    }
    sd_event_exit(loop->event(), 0);
    return 0;
}

int EventLoop::terminateOnSignals(std::initializer_list<int> signals) {
    sigset_t mask;
    sigemptyset(&mask);
    for (int sig : signals) {
        sigaddset(&mask, sig);
    }
    if (sigprocmask(SIG_BLOCK, &mask, nullptr) < 0) {
        return -errno;
    }
    for (int sig : signals) {
        sd_event_source* source = nullptr;
        if (const int r = sd_event_add_signal(event(), &source, sig, &EventLoop::onSignal, this);
            r < 0) {
            return r;
        }
        signalSources_.emplace_back(source);
    }
    return 0;
}

int EventLoop::onSignal(sd_event_source*, const struct signalfd_siginfo*, void* userdata) {
    static_cast<EventLoop*>(userdata)->terminate();
    return 0;
}

int EventLoop::run() {
    return sd_event_loop(event());
}

void EventLoop::exit(int status) {
    sd_event_exit(event(), status);
}

}  // namespace kivora::linux_
