#pragma once
// Where the time from launch to a painted sheet goes, for the benchmark: written as one line on
// stderr when KIVORA_SHEET_TIMING is set, never otherwise.

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace kivora::sheet {

struct SheetTiming {
    using Clock = std::chrono::steady_clock;
    Clock::time_point launched;
    Clock::time_point windowShown;
    Clock::time_point requested;
    Clock::time_point answered;
    bool reported = false;

    void reportPainted() {
        if (reported || std::getenv("KIVORA_SHEET_TIMING") == nullptr) {
            return;
        }
        reported = true;
        const auto now = Clock::now();
        auto ms = [](Clock::time_point a, Clock::time_point b) {
            return std::chrono::duration<double, std::milli>(b - a).count();
        };
        std::fprintf(stderr,
                     "kivora-sheet timing: toolkit %.1f ms, round trip %.1f ms, layout %.1f ms, "
                     "total %.1f ms\n",
                     ms(launched, windowShown), ms(requested, answered), ms(answered, now),
                     ms(launched, now));
    }
};

inline SheetTiming& timing() {
    static SheetTiming instance;
    return instance;
}

}  // namespace kivora::sheet
