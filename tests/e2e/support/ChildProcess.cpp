#include "e2e/support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kivora::e2e {

namespace {

constexpr Duration kPollStep{10};

std::vector<std::string> buildEnvironment(
    const std::map<std::string, std::optional<std::string>>& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string text(*entry);
        if (!changes.contains(text.substr(0, text.find('=')))) {
            result.push_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
        if (value) {
            result.push_back(name + "=" + *value);
        }
    }
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

// A fresh empty file under $TMPDIR, open for the child to write; returns its descriptor.
int outputFile(std::string& path) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kivora-out-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot make an output file: " +
                                 std::string(std::strerror(errno)));
    }
    path = pattern;
    return fd;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const ExitStatus& status) {
    switch (status.kind) {
        case ExitStatus::Kind::exited:
            return out << "exited with status " << status.code;
        case ExitStatus::Kind::signaled:
            return out << "killed by signal " << status.signal << " (" << strsignal(status.signal)
                       << ")";
        case ExitStatus::Kind::timedOut:
            break;
    }
    return out << "still running at the timeout";
}

ChildProcess::ChildProcess(const ProcessSpec& spec) : path_(spec.path) {
    const int out = outputFile(outFile_);
    const int err = outputFile(errFile_);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);

    // The test process may block or ignore signals (the event-loop tests do); the child must
    // start with every signal at its default.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigfillset(&defaults);
    sigdelset(&defaults, SIGKILL);
    sigdelset(&defaults, SIGSTOP);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argStrings{spec.path};
    argStrings.insert(argStrings.end(), spec.args.begin(), spec.args.end());
    std::vector<std::string> envStrings = buildEnvironment(spec.environment);
    std::vector<char*> argv = pointers(argStrings);
    std::vector<char*> envp = pointers(envStrings);
    const int rc =
        ::posix_spawn(&pid_, spec.path.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out);
    ::close(err);
    if (rc != 0) {
        pid_ = -1;
        ::unlink(outFile_.c_str());
        ::unlink(errFile_.c_str());
        throw std::runtime_error("cannot start " + spec.path + ": " + std::strerror(rc));
    }
}

ChildProcess::~ChildProcess() {
    kill();
    ::unlink(outFile_.c_str());
    ::unlink(errFile_.c_str());
}

std::vector<std::string> ChildProcess::linesOf(const std::string& file) const {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
        lines.push_back(text.substr(start, nl - start));
    }
    if (start < text.size() && status_) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

bool ChildProcess::waitFor(const std::string& file, std::string_view text, bool whole,
                           Duration timeout) {
    const auto deadline = Clock::now() + scaled(timeout);
    for (;;) {
        const bool ended = !running();  // before reading: a line written last is then seen
        for (const auto& line : linesOf(file)) {
            if (whole ? line == text : line.find(text) != std::string::npos) {
                return true;
            }
        }
        if (ended || Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollStep);
    }
}

bool ChildProcess::waitForLine(std::string_view line, Duration timeout) {
    return waitFor(outFile_, line, true, timeout);
}

bool ChildProcess::waitForStderr(std::string_view fragment, Duration timeout) {
    return waitFor(errFile_, fragment, false, timeout);
}

std::vector<std::string> ChildProcess::stdoutLines() const {
    return linesOf(outFile_);
}

std::vector<std::string> ChildProcess::stderrLines() const {
    return linesOf(errFile_);
}

std::size_t ChildProcess::countLines(std::string_view line) const {
    const auto lines = stdoutLines();
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

std::string ChildProcess::describe() const {
    std::ostringstream text;
    text << path_ << " (pid " << pid_ << ")\n";
    for (const auto& [title, file] : {std::pair{"stdout", outFile_}, {"stderr", errFile_}}) {
        text << "--- " << title << '\n';
        for (const auto& line : linesOf(file)) {
            text << line.substr(0, 300) << (line.size() > 300 ? "..." : "") << '\n';
        }
    }
    return text.str();
}

bool ChildProcess::reap(bool block) {
    if (status_ || pid_ <= 0) {
        return true;
    }
    int raw = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &raw, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) {
        return false;
    }
    ExitStatus status;
    status.kind = ExitStatus::Kind::exited;  // when reaped elsewhere: nothing more to learn
    if (r > 0 && WIFEXITED(raw)) {
        status.code = WEXITSTATUS(raw);
    } else if (r > 0) {
        status.kind = ExitStatus::Kind::signaled;
        status.signal = WTERMSIG(raw);
    }
    status_ = status;
    return true;
}

bool ChildProcess::running() {
    return !reap(false);
}

ExitStatus ChildProcess::waitForExit(Duration timeout) {
    const auto deadline = Clock::now() + scaled(timeout);
    while (!reap(false)) {
        if (Clock::now() >= deadline) {
            return ExitStatus{};
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return *status_;
}

void ChildProcess::signal(int sig) {
    if (!status_ && pid_ > 0) {
        ::kill(pid_, sig);
    }
}

void ChildProcess::kill() {
    signal(SIGKILL);
    reap(true);
}

RunResult runProcess(const ProcessSpec& spec, Duration timeout) {
    ChildProcess child(spec);
    RunResult result;
    result.status = child.waitForExit(timeout);
    result.out = child.stdoutLines();
    result.err = child.stderrLines();
    return result;
}

}  // namespace kivora::e2e
