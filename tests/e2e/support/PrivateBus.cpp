#include "e2e/support/PrivateBus.h"

#include <stdexcept>
#include <thread>

namespace kivora::e2e {

namespace {
constexpr const char* kDaemon = "/usr/bin/dbus-daemon";
constexpr const char* kSessionConfig = "/usr/share/dbus-1/session.conf";
}  // namespace

PrivateBus::PrivateBus() {
    // The address is the daemon's first line of standard output.
    daemon_ = std::make_unique<ChildProcess>(
        ProcessSpec{kDaemon,
                    {std::string("--config-file=") + kSessionConfig, "--nofork", "--print-address"},
                    {}});
    const auto deadline = Clock::now() + kDefaultTimeout;
    while (Clock::now() < deadline) {
        auto lines = daemon_->stdoutLines();
        if (!lines.empty() && !lines.front().empty()) {
            address_ = lines.front();
            return;
        }
        if (!daemon_->running()) {
            break;
        }
        std::this_thread::sleep_for(Duration(10));
    }
    const std::string output = daemon_->describe();
    daemon_->kill();
    throw std::runtime_error("the private bus did not start:\n" + output);
}

PrivateBus::~PrivateBus() {
    kill();
}

void PrivateBus::kill() {
    daemon_->kill();
}

}  // namespace kivora::e2e
