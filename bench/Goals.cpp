// The goals, in the order of the table, with rows that explain them (no goal). In-process
// figures are CPU time (robust against other load on the machine; the same as wall time on an
// idle one); bus round trips and start-up are wall time, as a client sees them. The round-trip
// goal against the echo peer is on the median; the p99 is shown beside it.
#include "GoalTable.h"

namespace kivora::bench {

const std::vector<Goal>& goals() {
    static const std::vector<Goal> kGoals = {
        {"AccessibilityStatus round trip, median", "AccessibilityStatusRoundTrip",
         "helper_median_us", 1, "µs", "echo_median_us", "echo", 1.3, false},
        {"AccessibilityStatus round trip, p99", "AccessibilityStatusRoundTrip", "helper_p99_us", 1,
         "µs", "echo_p99_us", "echo", NAN, false},
        {"AccessibilityStatus, CPU time per request", "AccessibilityStatusRoundTrip",
         "helper_cpu_us", 1, "µs", "echo_cpu_us", "echo", NAN, false},
        {"GetCurrentShortcut, 1,000 items, less the 50 ms pause, median",
         "GetCurrentShortcutRoundTrip", "median_ms", 1, "ms", "echo_median_ms",
         "echo replaying the reply", 1.3, false},
        {"GetCurrentShortcut, echo peer replaying the same reply, median",
         "GetCurrentShortcutRoundTrip", "echo_median_ms", 1, "ms", "", "", NAN, false},
        {"GetCurrentShortcut, helper CPU time per request", "GetCurrentShortcutRoundTrip",
         "helper_cpu_ms", 1, "ms", "", "", 1.5, false},
        {"GetCurrentShortcut, bus daemon CPU time per request", "GetCurrentShortcutRoundTrip",
         "daemon_cpu_ms", 1, "ms", "", "", NAN, false},
        {"Walker per element (2 in 5 items recorded)", "BM_WalkMenuBar/withShortcut:2",
         "per_element", 1e9, "ns", "", "", 150, false},
        {"Walker per element, nothing recorded (the walk alone)", "BM_WalkMenuBar/withShortcut:0",
         "per_element", 1e9, "ns", "", "", NAN, false},
        {"System catalogue, every row from the default file", "AllRowsFromTheDefaultFile",
         "cpu_time", 1, "ms", "", "", 2, true},
        {"System catalogue, the user's file alone", "AllRowsFromTheUsersFile", "cpu_time", 1, "µs",
         "", "", 300, true},
        {"Helper idle resident memory (VmRSS), median of 20", "HelperStartAndIdleMemory",
         "rss_median_MiB", 1, "MiB", "", "", 8, false},
        {"Helper exec to bus name owned, median of 20", "HelperStartAndIdleMemory",
         "start_median_ms", 1, "ms", "", "", 50, false},
    };
    return kGoals;
}

}  // namespace kivora::bench
