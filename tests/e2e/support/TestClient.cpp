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

bool TestClient::check(bool ok) {
    if (!ok) {
        ADD_FAILURE() << lastError();
    }
    return ok;
}

bool TestClient::post(const std::string& name, const std::optional<std::string>& object,
                      const Dictionary& userInfo) {
    return check(BusClient::post(name, object, userInfo));
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
bool TestClient::activate(const std::string& bundleIdentifier) {
    return check(BusClient::activate(bundleIdentifier));
}
bool TestClient::activateProcess(std::int32_t processIdentifier) {
    return check(BusClient::activateProcess(processIdentifier));
}
bool TestClient::quit(const std::string& bundleIdentifier) {
    return check(BusClient::quit(bundleIdentifier));
}
bool TestClient::setTrusted(bool trusted) {
    return check(BusClient::setTrusted(trusted));
}
std::vector<std::string> TestClient::pressedItems() {
    auto items = BusClient::pressedItems();
    check(items.has_value());
    return items.value_or(std::vector<std::string>{});
}
std::vector<KeyboardEvent> TestClient::keyEvents() {
    auto events = BusClient::keyEvents();
    check(events.has_value());
    return events.value_or(std::vector<KeyboardEvent>{});
}
std::uint32_t TestClient::promptCount() {
    auto count = BusClient::promptCount();
    check(count.has_value());
    return count.value_or(0);
}

}  // namespace kivora::e2e
