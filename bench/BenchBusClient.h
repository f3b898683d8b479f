#pragma once
// A bus client as lean as sd-bus allows, so that a round trip measures the peer, not the
// client: it posts notifications in the wire format and counts the arrivals of the names it
// watches, without decoding them. No thread; every wait is bounded.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/linux/SdHandles.h"

namespace kivora::bench {

using Clock = std::chrono::steady_clock;

class BenchBusClient {
public:
    // Connects to the bus at `address`. Throws std::runtime_error on failure.
    explicit BenchBusClient(const std::string& address);
    // Its match callbacks hold its address.
    BenchBusClient(const BenchBusClient&) = delete;
    BenchBusClient& operator=(const BenchBusClient&) = delete;

    sd_bus* bus() const { return bus_.get(); }

    // Counts every Post named `name` from now on (a match rule on arg0, as a real client
    // would install).
    void watch(const std::string& name);
    std::uint64_t arrivals(const std::string& name) const;

    // Records when `busName` gets an owner (NameOwnerChanged) from now on.
    void watchOwner(const std::string& busName);
    // When `busName` last got an owner, as seen by this client; none before.
    std::optional<Clock::time_point> ownedAt() const { return ownedAt_; }
    void forgetOwner() { ownedAt_.reset(); }

    // Posts a notification with an empty user info and flushes it. Throws on failure.
    void post(const std::string& name, const std::optional<std::string>& object);

    // Processes what arrives until `arrivals(name)` reaches `count` or the deadline passes.
    bool waitForArrivals(const std::string& name, std::uint64_t count, Clock::time_point deadline);
    // Processes what arrives until `busName` has been seen owned or the deadline passes.
    bool waitForOwner(Clock::time_point deadline);
    // A Peer.Ping to `destination`: once answered, it has handled everything sent before.
    bool ping(const std::string& destination, std::chrono::milliseconds timeout);

private:
    static int onPost(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error* error);
    // False when the connection failed.
    bool pumpOnce(Clock::time_point deadline);

    linux_::BusConnection bus_;
    std::map<std::string, std::uint64_t> arrivals_;
    std::map<std::string, linux_::SlotPtr> matches_;
    linux_::SlotPtr ownerMatch_;
    std::optional<Clock::time_point> ownedAt_;
};

}  // namespace kivora::bench
