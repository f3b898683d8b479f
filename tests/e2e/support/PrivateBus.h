#pragma once
// A private session bus: a dbus-daemon of our own, killed (by pid) when the object goes.

#include <sys/types.h>

#include <memory>
#include <string>

#include "e2e/support/ChildProcess.h"

namespace kivora::e2e {

class PrivateBus {
public:
    // Starts the daemon and waits for its address. Throws std::runtime_error when it does not
    // come up within the default timeout.
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // The value for DBUS_SESSION_BUS_ADDRESS.
    const std::string& address() const { return address_; }
    pid_t pid() const { return daemon_->pid(); }
    // Kills the daemon now, as a crash would (for tests of a lost bus).
    void kill();

private:
    std::unique_ptr<ChildProcess> daemon_;
    std::string address_;
};

}  // namespace kivora::e2e
