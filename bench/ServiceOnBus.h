#pragma once
// A program that owns a well-known name on a private bus (the helper, or the echo peer),
// started quietly for a measurement, with a lean client on the same bus. Construction returns
// once the name is owned, and knows how long that took from the exec.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "QuietProcess.h"
#include "e2e/support/TempDir.h"
#include "platform/linux/wire/BusClient.h"

namespace kivora::bench {

using Clock = linux_::wire::Clock;
using BenchBusClient = linux_::wire::BusClient;
inline const std::string& kHelperName = linux_::wire::helperBusName();
inline constexpr const char* kEchoPeerName = "org.morvane.Kivora.EchoPeer";
inline constexpr std::chrono::milliseconds kStartTimeout{10000};

class ServiceOnBus {
public:
    // Starts `path` with `args` on the bus at `busAddress` (HOME a fresh empty folder) and
    // waits until it owns `busName`. Throws std::runtime_error when it does not within
    // kStartTimeout.
    ServiceOnBus(const std::string& busAddress, const std::string& path,
                 const std::vector<std::string>& args, const std::string& busName);

    BenchBusClient& client() { return *client_; }
    pid_t pid() const { return process_->pid(); }
    // From just before the exec to the name seen owned by the client.
    std::chrono::nanoseconds startup() const { return startup_; }
    // Ends it with SIGTERM; its exit status (-1 when it had to be killed).
    int terminate() { return process_->terminate(kStartTimeout); }

private:
    e2e::TempDir home_;
    std::unique_ptr<BenchBusClient> client_;
    std::unique_ptr<QuietProcess> process_;  // started once the client watches the name
    std::chrono::nanoseconds startup_{};
};

// The helper serving the simulated desktop in `desktopFile`.
inline std::vector<std::string> helperArgs(const std::string& desktopFile) {
    return {"--desktop", desktopFile};
}

}  // namespace kivora::bench
