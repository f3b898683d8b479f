#include "BenchBusClient.h"

#include <stdexcept>
#include <system_error>

#include "platform/linux/DBusNotificationCodec.h"

namespace kivora::bench {

namespace {

std::string errnoText(int negativeErrno) {
    return std::generic_category().message(-negativeErrno);
}

void check(int r, const std::string& what) {
    if (r < 0) {
        throw std::runtime_error(what + ": " + errnoText(r));
    }
}

}  // namespace

BenchBusClient::BenchBusClient(const std::string& address) {
    sd_bus* raw = nullptr;
    check(sd_bus_new(&raw), "sd_bus_new");
    bus_.reset(raw);
    check(sd_bus_set_address(raw, address.c_str()), "bus address " + address);
    check(sd_bus_set_bus_client(raw, 1), "sd_bus_set_bus_client");
    check(sd_bus_start(raw), "cannot connect to " + address);
}

void BenchBusClient::watch(const std::string& name) {
    // Names with a quote cannot be written into a rule; none of ours has one.
    const std::string rule = std::string("type='signal',interface='") + linux_::wire::kInterface +
                             "',member='" + linux_::wire::kMember + "',arg0='" + name + "'";
    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_match(bus(), &slot, rule.c_str(), &BenchBusClient::onPost, this),
          "cannot watch " + name);
    matches_[name].reset(slot);
    arrivals_.try_emplace(name, 0);
}

std::uint64_t BenchBusClient::arrivals(const std::string& name) const {
    const auto it = arrivals_.find(name);
    return it == arrivals_.end() ? 0 : it->second;
}

void BenchBusClient::watchOwner(const std::string& busName) {
    const std::string rule =
        "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
        "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='" +
        busName + "'";
    sd_bus_slot* slot = nullptr;
    check(sd_bus_add_match(bus(), &slot, rule.c_str(), &BenchBusClient::onOwnerChanged, this),
          "cannot watch the owner of " + busName);
    ownerMatch_.reset(slot);
}

int BenchBusClient::onPost(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* client = static_cast<BenchBusClient*>(userdata);
    const char* name = nullptr;
    if (sd_bus_message_read_basic(message, 's', &name) > 0) {
        if (auto it = client->arrivals_.find(name); it != client->arrivals_.end()) {
            ++it->second;
        }
    }
    return 0;
}

int BenchBusClient::onOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
    const auto now = Clock::now();
    auto* client = static_cast<BenchBusClient*>(userdata);
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) >= 0 &&
        newOwner != nullptr && *newOwner != '\0') {
        client->ownedAt_ = now;
    }
    return 0;
}

void BenchBusClient::post(const std::string& name, const std::optional<std::string>& object) {
    sd_bus_message* raw = nullptr;
    check(sd_bus_message_new_signal(bus(), &raw, linux_::wire::kPath, linux_::wire::kInterface,
                                    linux_::wire::kMember),
          "cannot create a Post");
    linux_::MessagePtr message(raw);
    int r = object ? sd_bus_message_append(raw, "ssa{sv}", name.c_str(), object->c_str(), 0)
                   : sd_bus_message_append(raw, "sa{sv}", name.c_str(), 0);
    if (r >= 0) {
        r = sd_bus_send(bus(), raw, nullptr);
    }
    if (r >= 0) {
        r = sd_bus_flush(bus());
    }
    check(r, "cannot post " + name);
}

bool BenchBusClient::pumpOnce(Clock::time_point deadline) {
    const int r = sd_bus_process(bus(), nullptr);
    if (r < 0) {
        return false;
    }
    if (r > 0) {
        return true;
    }
    const auto now = Clock::now();
    if (now >= deadline) {
        return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
    const int w = sd_bus_wait(bus(), static_cast<std::uint64_t>(left.count()) + 1);
    return w >= 0 || w == -EINTR;
}

bool BenchBusClient::waitForArrivals(const std::string& name, std::uint64_t count,
                                     Clock::time_point deadline) {
    while (arrivals(name) < count) {
        if (Clock::now() >= deadline || !pumpOnce(deadline)) {
            return false;
        }
    }
    return true;
}

bool BenchBusClient::waitForOwner(Clock::time_point deadline) {
    while (!ownedAt_) {
        if (Clock::now() >= deadline || !pumpOnce(deadline)) {
            return false;
        }
    }
    return true;
}

bool BenchBusClient::ping(const std::string& destination, std::chrono::milliseconds timeout) {
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus(), &raw, destination.c_str(), "/",
                                       "org.freedesktop.DBus.Peer", "Ping") < 0) {
        return false;
    }
    linux_::MessagePtr call(raw);
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call(bus(), raw, static_cast<std::uint64_t>(timeout.count()) * 1000,
                              nullptr, &reply);
    linux_::MessagePtr owned(reply);
    return r >= 0;
}

}  // namespace kivora::bench
