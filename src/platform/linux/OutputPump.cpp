#include "platform/linux/OutputPump.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include "platform/linux/Diagnostics.h"

namespace kivora::linux_ {

namespace {

constexpr auto kExitBudget = std::chrono::milliseconds(200);
// After the budget, how long the writer gets to notice that it must stop.
constexpr auto kStopGrace = std::chrono::milliseconds(50);

struct Channel {
    Channel(int descriptor, const char* streamName) : fd(descriptor), name(streamName) {}

    int fd;
    const char* name;
    std::deque<std::string> lines;  // the front may be partly written
    std::size_t frontWritten = 0;
    std::size_t bytes = 0;  // queued and not yet written
    std::size_t dropped = 0;
    bool closed = false;  // the reader went away: later output is discarded
};

bool writable(int fd) {
    pollfd p{fd, POLLOUT, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLOUT | POLLERR | POLLHUP)) != 0;
}

class Pump {
public:
    // Never destroyed: the writer may still run while static objects are destroyed.
    static Pump& instance() {
        static Pump* pump = new Pump;
        return *pump;
    }

    void queue(OutputStream stream, std::string text) {
        std::size_t lost = 0;
        const char* name = nullptr;
        {
            std::lock_guard lock(mutex_);
            Channel& channel = channels_[stream == OutputStream::standardOutput ? 0 : 1];
            if (channel.closed || text.empty()) {
                return;
            }
            if (channel.bytes != 0 && channel.bytes + text.size() > kOutputBacklogBytes) {
                ++channel.dropped;
                return;
            }
            channel.bytes += text.size();
            channel.lines.push_back(std::move(text));
            lost = drain(channel);
            name = channel.name;
            if (channel.bytes != 0 && !stopped_) {
                startLocked();
                wake();
            } else if (stopped_) {
                discard(channel);  // nobody will write it later
            }
        }
        report(lost, name);
    }

    void flush(std::chrono::milliseconds budget) {
        std::unique_lock lock(mutex_);
        if (stopped_) {
            return;
        }
        stopping_ = true;
        if (thread_.joinable()) {
            wake();
            const auto deadline = std::chrono::steady_clock::now() + budget;
            changed_.wait_until(lock, deadline, [this] { return finished_; });
            abandoned_ = true;
            wake();
            changed_.wait_for(lock, kStopGrace, [this] { return finished_; });
        }
        stopped_ = true;
        for (Channel& channel : channels_) {
            discard(channel);
        }
        const bool finished = finished_;
        lock.unlock();
        if (!thread_.joinable()) {
            return;
        }
        if (finished) {
            thread_.join();
        } else {
            thread_.detach();  // stuck in a write the descriptor promised to take
        }
    }

private:
    Pump() {
        if (::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) < 0) {
            wakeFds_[0] = wakeFds_[1] = -1;
        }
    }

    // Writes what the descriptor takes without blocking; returns how many dropped lines are
    // to be reported now that the stream flows. Called with the mutex held.
    std::size_t drain(Channel& channel) {
        bool wrote = false;
        char chunk[PIPE_BUF];
        while (!channel.lines.empty() && writable(channel.fd)) {
            // Whole lines while they fit, so that short lines reach a shared pipe unsplit.
            std::size_t size = 0;
            std::size_t skip = channel.frontWritten;
            for (const std::string& line : channel.lines) {
                const std::size_t rest = line.size() - skip;
                if (size != 0 && size + rest > sizeof chunk) {
                    break;
                }
                const std::size_t take = std::min(rest, sizeof chunk - size);
                std::copy_n(line.data() + skip, take, chunk + size);
                size += take;
                skip = 0;
            }
            const ssize_t written = ::write(channel.fd, chunk, size);
            if (written < 0 && (errno == EINTR || errno == EAGAIN)) {
                if (errno == EAGAIN) {
                    break;
                }
                continue;
            }
            if (written <= 0) {
                channel.closed = true;
                discard(channel);
                return 0;
            }
            consume(channel, static_cast<std::size_t>(written));
            wrote = true;
        }
        if (!wrote || channel.dropped == 0) {
            return 0;
        }
        return std::exchange(channel.dropped, 0);
    }

    static void consume(Channel& channel, std::size_t count) {
        channel.bytes -= count;
        while (count > 0) {
            const std::size_t rest = channel.lines.front().size() - channel.frontWritten;
            if (count < rest) {
                channel.frontWritten += count;
                return;
            }
            count -= rest;
            channel.lines.pop_front();
            channel.frontWritten = 0;
        }
    }

    static void discard(Channel& channel) {
        channel.lines.clear();
        channel.frontWritten = 0;
        channel.bytes = 0;
    }

    static void report(std::size_t lost, const char* name) {
        if (lost > 0) {
            writeDiagnostic("dropped " + std::to_string(lost) + " lines of " + name +
                            " while nobody read it");
        }
    }

    void wake() {
        if (wakeFds_[1] >= 0) {
            const char byte = 0;
            [[maybe_unused]] const ssize_t ignored = ::write(wakeFds_[1], &byte, 1);
        }
    }

    void startLocked() {
        if (thread_.joinable() || wakeFds_[0] < 0) {
            return;
        }
        // The writer takes no signal: SIGTERM must reach the event loop's signalfd.
        sigset_t all;
        sigset_t previous;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
        try {
            thread_ = std::thread([this] { run(); });
            std::atexit([] { flushOutput(kExitBudget); });
        } catch (const std::system_error&) {
            // Without a writer, output goes out only where it fits at once.
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }

    void run() {
        std::unique_lock lock(mutex_);
        while (!abandoned_) {
            pollfd fds[3] = {{wakeFds_[0], POLLIN, 0}, {-1, POLLOUT, 0}, {-1, POLLOUT, 0}};
            bool pending = false;
            for (int i = 0; i < 2; ++i) {
                if (!channels_[i].lines.empty()) {
                    fds[i + 1].fd = channels_[i].fd;
                    pending = true;
                }
            }
            if (!pending && stopping_) {
                break;
            }
            lock.unlock();
            ::poll(fds, 3, -1);
            char sink[64];
            while (::read(wakeFds_[0], sink, sizeof sink) > 0) {
            }
            lock.lock();
            for (int i = 0; i < 2; ++i) {
                if (fds[i + 1].revents != 0) {
                    const std::size_t lost = drain(channels_[i]);
                    lock.unlock();
                    report(lost, channels_[i].name);
                    lock.lock();
                }
            }
        }
        finished_ = true;
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    Channel channels_[2] = {Channel(STDOUT_FILENO, "standard output"),
                            Channel(STDERR_FILENO, "standard error")};
    int wakeFds_[2] = {-1, -1};
    std::thread thread_;
    bool stopping_ = false;   // write what is queued, then end
    bool abandoned_ = false;  // end now
    bool finished_ = false;   // the writer has ended
    bool stopped_ = false;    // no writer any more: write only what fits at once
};

}  // namespace

void queueOutput(OutputStream stream, std::string text) {
    Pump::instance().queue(stream, std::move(text));
}

void flushOutput(std::chrono::milliseconds budget) {
    Pump::instance().flush(budget);
}

}  // namespace kivora::linux_
