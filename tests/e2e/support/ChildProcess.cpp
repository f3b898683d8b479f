#include "e2e/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kivora::e2e {

namespace {

constexpr Duration kPollStep{10};
// After the exit, the pipes normally drain at once; this only bounds a stuck grandchild.
constexpr Duration kDrainTimeout{2000};

std::vector<std::string> buildEnvironment(
    const std::map<std::string, std::optional<std::string>>& changes) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const auto equals = text.find('=');
        if (equals != std::string_view::npos) {
            variables[std::string(text.substr(0, equals))] = std::string(text.substr(equals + 1));
        }
    }
    for (const auto& [name, value] : changes) {
        if (value) {
            variables[name] = *value;
        } else {
            variables.erase(name);
        }
    }
    std::vector<std::string> result;
    for (const auto& [name, value] : variables) {
        result.push_back(name + "=" + value);
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

void closeIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
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
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    // Close-on-exec: another child started meanwhile must not hold our pipes open.
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        closeIfOpen(outPipe[0]);
        closeIfOpen(outPipe[1]);
        throw std::runtime_error("cannot make pipes: " + std::string(std::strerror(error)));
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);

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
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (rc != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start " + spec.path + ": " + std::strerror(rc));
    }
    reader_ = std::thread([this, out = outPipe[0], err = errPipe[0]] { readLoop(out, err); });
}

ChildProcess::~ChildProcess() {
    kill();
    {
        std::lock_guard lock(mutex_);
        stopReading_ = true;
    }
    if (reader_.joinable()) {
        reader_.join();
    }
}

void ChildProcess::readLoop(int outFd, int errFd) {
    int fds[2] = {outFd, errFd};
    Stream* streams[2] = {&out_, &err_};
    char buffer[65536];
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopReading_) {
                break;
            }
        }
        pollfd polls[2];
        nfds_t count = 0;
        int which[2];
        for (int i = 0; i < 2; ++i) {
            if (fds[i] >= 0) {
                polls[count] = {fds[i], POLLIN, 0};
                which[count++] = i;
            }
        }
        if (count == 0) {
            break;
        }
        // A short poll so that a stop request is seen even if a grandchild holds a pipe.
        const int ready = ::poll(polls, count, 100);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (nfds_t k = 0; ready > 0 && k < count; ++k) {
            if (polls[k].revents == 0) {
                continue;
            }
            const int i = which[k];
            const ssize_t n = ::read(fds[i], buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            std::lock_guard lock(mutex_);
            Stream& stream = *streams[i];
            if (n <= 0) {
                if (!stream.partial.empty()) {
                    stream.lines.push_back(std::move(stream.partial));
                    stream.partial.clear();
                }
                stream.ended = true;
                closeIfOpen(fds[i]);
            } else {
                stream.partial.append(buffer, static_cast<std::size_t>(n));
                std::size_t start = 0;
                for (std::size_t nl; (nl = stream.partial.find('\n', start)) != std::string::npos;
                     start = nl + 1) {
                    stream.lines.push_back(stream.partial.substr(start, nl - start));
                }
                stream.partial.erase(0, start);
            }
            changed_.notify_all();
        }
    }
    std::lock_guard lock(mutex_);
    for (int i = 0; i < 2; ++i) {
        closeIfOpen(fds[i]);
        streams[i]->ended = true;
    }
    changed_.notify_all();
}

bool ChildProcess::waitForLineIn(const Stream& stream, std::string_view text, bool whole,
                                 Duration timeout) {
    std::unique_lock lock(mutex_);
    std::size_t checked = 0;
    bool found = false;
    changed_.wait_for(lock, scaled(timeout), [&] {
        for (; checked < stream.lines.size(); ++checked) {
            const std::string& line = stream.lines[checked];
            if (whole ? line == text : line.find(text) != std::string::npos) {
                found = true;
                return true;
            }
        }
        return stream.ended;
    });
    return found;
}

bool ChildProcess::waitForLine(std::string_view line, Duration timeout) {
    return waitForLineIn(out_, line, true, timeout);
}

bool ChildProcess::waitForStderr(std::string_view fragment, Duration timeout) {
    return waitForLineIn(err_, fragment, false, timeout);
}

std::vector<std::string> ChildProcess::stdoutLines() const {
    std::lock_guard lock(mutex_);
    return out_.lines;
}

std::vector<std::string> ChildProcess::stderrLines() const {
    std::lock_guard lock(mutex_);
    return err_.lines;
}

std::size_t ChildProcess::countLines(std::string_view line) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count(out_.lines.begin(), out_.lines.end(), line));
}

std::string ChildProcess::describe() const {
    std::lock_guard lock(mutex_);
    std::ostringstream text;
    text << path_ << " (pid " << pid_ << ")\n--- stdout\n";
    for (const auto& line : out_.lines) {
        text << line.substr(0, 300) << (line.size() > 300 ? "..." : "") << '\n';
    }
    text << "--- stderr\n";
    for (const auto& line : err_.lines) {
        text << line.substr(0, 300) << (line.size() > 300 ? "..." : "") << '\n';
    }
    return text.str();
}

bool ChildProcess::reap(bool block) {
    std::lock_guard lock(statusMutex_);
    if (status_) {
        return true;
    }
    if (pid_ <= 0) {
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
    if (r < 0) {
        status.kind = ExitStatus::Kind::exited;  // reaped elsewhere; nothing more to learn
    } else if (WIFEXITED(raw)) {
        status.kind = ExitStatus::Kind::exited;
        status.code = WEXITSTATUS(raw);
    } else {
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
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kDrainTimeout, [this] { return out_.ended && err_.ended; });
    }
    std::lock_guard lock(statusMutex_);
    return *status_;
}

void ChildProcess::signal(int sig) {
    std::lock_guard lock(statusMutex_);
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
