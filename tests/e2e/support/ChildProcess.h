#pragma once
// A child process whose standard output and error go to files of their own, read line by line
// on demand, with bounded waits for lines and for the exit. Files rather than pipes: nothing
// to drain, no reader thread, and a grandchild holding the output open cannot stall a test.
// The destructor kills (by pid) and reaps a child that is still running.

#include <sys/types.h>

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/support/Timeouts.h"

namespace kivora::e2e {

struct ExitStatus {
    enum class Kind { exited, signaled, timedOut };
    Kind kind = Kind::timedOut;
    int code = -1;   // the exit status when exited
    int signal = 0;  // the signal when signaled

    bool exited() const { return kind == Kind::exited; }
    bool exitedWith(int status) const { return exited() && code == status; }
    bool timedOut() const { return kind == Kind::timedOut; }
};
std::ostream& operator<<(std::ostream& out, const ExitStatus& status);

struct ProcessSpec {
    std::string path;
    std::vector<std::string> args;  // without argv[0]
    // Changes to the inherited environment: a value sets the variable, none removes it.
    std::map<std::string, std::optional<std::string>> environment;
};

class ChildProcess {
public:
    // Starts the child (standard input from /dev/null, signals at their defaults). Throws
    // std::runtime_error when it cannot be started.
    explicit ChildProcess(const ProcessSpec& spec);
    virtual ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Whether the child has not exited yet (collects its status if it has).
    bool running();

    // Waits until standard output holds a line equal to `line` (at any time since the start).
    // False at the timeout, or as soon as the child has ended without it.
    bool waitForLine(std::string_view line, Duration timeout = kDefaultTimeout);
    // The same for a standard-error line that contains `fragment`.
    bool waitForStderr(std::string_view fragment, Duration timeout = kDefaultTimeout);

    // Whole lines so far (and the unterminated last one once the child has ended).
    std::vector<std::string> stdoutLines() const;
    std::vector<std::string> stderrLines() const;
    // How many standard-output lines are equal to `line`.
    std::size_t countLines(std::string_view line) const;
    // Everything captured so far, for failure messages.
    std::string describe() const;

    ExitStatus waitForExit(Duration timeout = kDefaultTimeout);
    void signal(int sig);
    // SIGKILL now and reap.
    void kill();

private:
    bool reap(bool block);
    std::vector<std::string> linesOf(const std::string& file) const;
    bool waitFor(const std::string& file, std::string_view text, bool whole, Duration timeout);

    std::string path_;
    std::string outFile_;
    std::string errFile_;
    pid_t pid_ = -1;
    std::optional<ExitStatus> status_;
};

struct RunResult {
    ExitStatus status;
    std::vector<std::string> out;
    std::vector<std::string> err;
};
// Runs a child to its end (killed at the timeout) and returns its status and output.
RunResult runProcess(const ProcessSpec& spec, Duration timeout = kDefaultTimeout);

}  // namespace kivora::e2e
