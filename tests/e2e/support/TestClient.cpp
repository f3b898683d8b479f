#include "e2e/support/TestClient.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "e2e/support/PrivateBus.h"

namespace kivora::e2e {

sd_bus* openOrThrow(const std::string& address) {
    std::string error;
    sd_bus* bus = TestClient::open(address, error);
    if (bus == nullptr) {
        throw std::runtime_error(error);
    }
    return bus;
}

TestClient::TestClient(const PrivateBus& bus, Collect collect)
    : TestClient(bus.address(), collect) {}

TestClient::TestClient(const std::string& address, Collect collect)
    : BusClient(openOrThrow(address)) {
    setCallTimeout(scaled(kDefaultTimeout));
    if (!subscribe({.name = std::nullopt, .helperOnly = collect == Collect::fromHelperOnly})) {
        throw std::runtime_error(lastError());
    }
}

bool TestClient::post(const std::string& name, const std::optional<std::string>& object,
                      const Dictionary& userInfo) {
    const bool ok = BusClient::post(name, object, userInfo);
    if (!ok) {
        ADD_FAILURE() << lastError();
    }
    return ok;
}
std::optional<Notification> TestClient::waitFor(std::string_view name, Duration timeout) {
    return BusClient::waitFor(name, scaled(timeout));
}
bool TestClient::ping(const std::string& destination, Duration timeout) {
    return BusClient::ping(destination, scaled(timeout));
}
bool TestClient::waitForName(const std::string& name, bool owned, Duration timeout) {
    return BusClient::waitForName(name, owned, scaled(timeout));
}

}  // namespace kivora::e2e
