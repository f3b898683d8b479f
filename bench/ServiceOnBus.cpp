#include "ServiceOnBus.h"

#include <stdexcept>

namespace kivora::bench {

ServiceOnBus::ServiceOnBus(const std::string& busAddress, const std::string& path,
                           const std::vector<std::string>& args, const std::string& busName) {
    std::string error;
    client_ = BenchBusClient::connect(busAddress, error);
    if (!client_ || !client_->watchOwner(busName)) {
        throw std::runtime_error(client_ ? client_->lastError() : error);
    }
    process_ = std::make_unique<QuietProcess>(
        path, args,
        std::map<std::string, std::optional<std::string>>{{"DBUS_SESSION_BUS_ADDRESS", busAddress},
                                                          {"HOME", home_.path()}});
    if (!client_->waitForOwner(Clock::now() + kStartTimeout)) {
        throw std::runtime_error(path + " did not own " + busName + " within " +
                                 std::to_string(kStartTimeout.count()) + " ms");
    }
    startup_ = *client_->ownedAt() - process_->started();
}

}  // namespace kivora::bench
