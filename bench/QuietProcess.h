#pragma once
// A process started for a measurement: standard output goes to /dev/null, as it would go to
// the journal in a real deployment, so that nobody in this process spends time reading it;
// standard error stays ours, so that a diagnostic is seen. The destructor ends the process
// (SIGKILL by its pid) and reaps it.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kivora::bench {

class QuietProcess {
public:
    // Starts `path` with `args` (without argv[0]) and the environment changed by
    // `environment` (a value sets, none removes). Throws std::runtime_error when it cannot.
    QuietProcess(const std::string& path, const std::vector<std::string>& args,
                 const std::map<std::string, std::optional<std::string>>& environment);
    ~QuietProcess();
    QuietProcess(const QuietProcess&) = delete;
    QuietProcess& operator=(const QuietProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The moment just before the process was started.
    std::chrono::steady_clock::time_point started() const { return started_; }

    // SIGTERM, then waits for the exit; SIGKILL when it has not come within `timeout`.
    // The exit status (-1 when it had to be killed).
    int terminate(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    std::chrono::steady_clock::time_point started_;
};

// VmRSS of `pid` in KiB, from /proc; none when it cannot be read.
std::optional<long> residentKiB(pid_t pid);
// The CPU time (user and system) that `pid` has used so far, from /proc; none when it cannot
// be read.
std::optional<std::chrono::nanoseconds> cpuTime(pid_t pid);

}  // namespace kivora::bench
