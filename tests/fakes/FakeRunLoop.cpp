#include "fakes/FakeRunLoop.h"

#include <algorithm>

namespace kivora::fake {

struct FakeRunLoop::FakeTimer : Timer {
    double interval = 0;
    bool repeats = false;
    double due = 0;
    bool valid = true;
    std::function<void()> fire;
    void invalidate() override { valid = false; }
    bool isValid() const override { return valid; }
};

TimerRef FakeRunLoop::scheduledTimer(double interval, bool repeats, std::function<void()> fire) {
    auto timer = std::make_shared<FakeTimer>();
    timer->interval = interval;
    timer->repeats = repeats;
    timer->due = now + interval;
    timer->fire = std::move(fire);
    timers_.push_back(timer);
    return timer;
}

void FakeRunLoop::sleepFor(double seconds) {
    sleeps.push_back(seconds);
    now += seconds;
}

void FakeRunLoop::advance(double seconds) {
    const double end = now + seconds;
    for (;;) {
        std::erase_if(timers_, [](const auto& t) { return !t->valid; });
        auto next = std::min_element(timers_.begin(), timers_.end(),
                                     [](const auto& a, const auto& b) { return a->due < b->due; });
        if (next == timers_.end() || (*next)->due > end) {
            break;
        }
        auto timer = *next;  // keep alive while it fires
        now = std::max(now, timer->due);
        if (timer->repeats) {
            timer->due += timer->interval;
        } else {
            timer->valid = false;
        }
        timer->fire();
    }
    now = std::max(now, end);
}

std::size_t FakeRunLoop::validTimerCount() const {
    return static_cast<std::size_t>(
        std::count_if(timers_.begin(), timers_.end(), [](const auto& t) { return t->valid; }));
}

}  // namespace kivora::fake
