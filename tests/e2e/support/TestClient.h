#pragma once
// The shared bus client as the tests use it: connected or thrown, collecting notifications
// from the start, a failed post a test failure, and every wait stretched under valgrind.
// Desktop calls are the shared client's own (check them with lastError()).

#include <string>
#include <vector>

#include "e2e/support/Timeouts.h"
#include "platform/linux/wire/BusClient.h"

namespace kivora::e2e {

class PrivateBus;

// The helper's bus name is its identifier, the object of the requests meant for it.
inline const char* const kHelperBusName = names::helperIdentifier().c_str();
inline const char* const kHelperObject = names::helperIdentifier().c_str();
inline const char* const kMainAppObject = names::mainApplicationIdentifier().c_str();

class TestClient : public linux_::wire::BusClient {
public:
    // Whose notifications are collected: everybody's but our own, or the helper's alone.
    enum class Collect { fromOthers, fromHelperOnly };
    explicit TestClient(const PrivateBus& bus, Collect collect = Collect::fromOthers);
    explicit TestClient(const std::string& address, Collect collect = Collect::fromOthers);

    bool post(const std::string& name, const std::optional<std::string>& object = std::nullopt,
              const Dictionary& userInfo = {});
    std::optional<Notification> waitFor(std::string_view name, Duration timeout = kDefaultTimeout);
    bool ping(const std::string& destination = kHelperBusName, Duration timeout = kDefaultTimeout);
    bool waitForName(const std::string& name, bool owned = true,
                     Duration timeout = kDefaultTimeout);

private:
    friend sd_bus* openOrThrow(const std::string& address);
};

}  // namespace kivora::e2e
