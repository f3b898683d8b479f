#include "kivoractl/BusClient.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <system_error>

#include "messaging/NotificationNames.h"
#include "platform/linux/DBusNotificationCodec.h"
#include "platform/linux/Errno.h"
#include "platform/linux/SimulatedDesktop.h"

namespace kivoractl {

using kivora::linux_::errnoText;

using kivora::linux_::BusError;
using kivora::linux_::MessagePtr;
using kivora::linux_::SlotPtr;

namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t microseconds(double seconds) {
    return static_cast<std::uint64_t>(std::ceil(seconds * 1e6));
}

std::string describe(const BusError& error, int result) {
    if (error.isSet()) {
        std::string text = error.message();
        if (!error.name().empty()) {
            text += text.empty() ? error.name() : " (" + error.name() + ")";
        }
        return text;
    }
    return errnoText(result);
}

// A method call with its own timeout; null with `error` set on failure.
MessagePtr call(sd_bus* bus, const char* destination, const char* path, const char* interface,
                const char* member, const BusClient::Appender& append, double timeoutSeconds,
                std::string& error) {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus, &raw, destination, path, interface, member);
    MessagePtr request(raw);
    if (r >= 0 && append) {
        r = append(request.get());
    }
    if (r < 0) {
        error = "cannot build the call " + std::string(member) + ": " + errnoText(r);
        return nullptr;
    }
    // Never start a helper through bus activation: kivoractl talks to a running one.
    sd_bus_message_set_auto_start(request.get(), 0);
    BusError busError;
    sd_bus_message* reply = nullptr;
    r = sd_bus_call(bus, request.get(), microseconds(timeoutSeconds), busError.get(), &reply);
    if (r < 0) {
        error = describe(busError, r);
        return nullptr;
    }
    return MessagePtr(reply);
}

}  // namespace

BusClient::BusClient(sd_bus* bus) : bus_(bus) {}
BusClient::~BusClient() = default;

std::unique_ptr<BusClient> BusClient::connect(std::string& error) {
    sd_bus* raw = nullptr;
    const int r = sd_bus_open_user(&raw);
    if (r < 0) {
        error = "cannot connect to the session bus: " + errnoText(r);
        return nullptr;
    }
    std::unique_ptr<BusClient> client(new BusClient(raw));
    const std::string rule =
        "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
        "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='" +
        kivora::names::helperIdentifier() + "'";
    sd_bus_slot* slot = nullptr;
    const int m = sd_bus_add_match(client->bus_.get(), &slot, rule.c_str(),
                                   &BusClient::onOwnerChanged, client.get());
    if (m < 0) {
        error = "cannot watch the helper's bus name: " + errnoText(m);
        return nullptr;
    }
    client->slots_.emplace_back(slot);
    return client;
}

std::optional<bool> BusClient::helperRunning(std::string& error) {
    const std::string& name = kivora::names::helperIdentifier();
    MessagePtr reply = call(
        bus_.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner",
        [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", name.c_str()); }, 5, error);
    if (!reply) {
        error = "cannot ask the bus whether the helper is running: " + error;
        return std::nullopt;
    }
    int owned = 0;
    const int r = sd_bus_message_read(reply.get(), "b", &owned);
    if (r < 0) {
        error = "unexpected answer from the bus: " + errnoText(r);
        return std::nullopt;
    }
    return owned != 0;
}

bool BusClient::subscribe(const std::string& name, std::string& error) {
    const std::string rule = kivora::linux_::wire::matchRule(name, std::nullopt);
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_match(bus_.get(), &slot, rule.c_str(), &BusClient::onPost, this);
    if (r < 0) {
        error = "cannot subscribe to " + name + ": " + errnoText(r);
        return false;
    }
    slots_.emplace_back(slot);
    subscribed_.push_back(name);
    return true;
}

bool BusClient::post(const std::string& name, const std::optional<std::string>& object,
                     std::string& error) {
    auto encoded = kivora::linux_::wire::encodePost(bus_.get(), name, object, {});
    if (!encoded.message) {
        error = "cannot send " + name + ": " + encoded.error;
        return false;
    }
    const int r = sd_bus_send(bus_.get(), encoded.message.get(), nullptr);
    if (r < 0) {
        error = "cannot send the request: " + errnoText(r);
        return false;
    }
    return true;
}

bool BusClient::barrier(double timeoutSeconds, std::string& error) {
    MessagePtr reply = call(bus_.get(), kivora::names::helperIdentifier().c_str(), "/",
                            "org.freedesktop.DBus.Peer", "Ping", nullptr, timeoutSeconds, error);
    if (!reply) {
        error = "the helper did not confirm the request: " + error;
        return false;
    }
    return true;
}

int BusClient::onPost(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* self = static_cast<BusClient*>(userdata);
    auto decoded = kivora::linux_::wire::decodePost(message);
    if (!decoded.notification) {
        return 0;
    }
    const std::string& name = decoded.notification->name;
    for (const auto& wanted : self->subscribed_) {
        if (name == wanted && self->received_.count(name) == 0) {
            self->received_.emplace(name, std::move(*decoded.notification));
            break;
        }
    }
    return 0;
}

int BusClient::onOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) >= 0 &&
        newOwner != nullptr && newOwner[0] == '\0') {
        static_cast<BusClient*>(userdata)->helperLeft_ = true;
    }
    return 0;
}

template <typename Done>
BusClient::WaitOutcome BusClient::runUntil(Done done, double timeoutSeconds, std::string& error) {
    const auto deadline = Clock::now() + std::chrono::microseconds(microseconds(timeoutSeconds));
    for (;;) {
        if (done()) {
            return WaitOutcome::Done;
        }
        const int r = sd_bus_process(bus_.get(), nullptr);
        if (r < 0) {
            error = "lost the session bus: " + errnoText(r);
            return WaitOutcome::Failed;
        }
        if (r > 0) {
            continue;  // more may be queued
        }
        if (done()) {
            return WaitOutcome::Done;
        }
        if (helperLeft_) {
            return WaitOutcome::HelperLeft;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return WaitOutcome::TimedOut;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count();
        const int w = sd_bus_wait(bus_.get(), static_cast<std::uint64_t>(left));
        if (w < 0 && w != -EINTR) {
            error = "lost the session bus: " + errnoText(w);
            return WaitOutcome::Failed;
        }
    }
}

BusClient::WaitOutcome BusClient::waitForReplies(const std::vector<std::string>& names,
                                                 double timeoutSeconds, std::string& error) {
    return runUntil(
        [&] {
            for (const auto& name : names) {
                if (received_.count(name) == 0) {
                    return false;
                }
            }
            return true;
        },
        timeoutSeconds, error);
}

BusClient::WaitOutcome BusClient::waitForHelperToLeave(double timeoutSeconds, std::string& error) {
    return runUntil([&] { return helperLeft_; }, timeoutSeconds, error);
}

MessagePtr BusClient::callDesktop(const char* method, const Appender& append, double timeoutSeconds,
                                  std::string& error) {
    using kivora::linux_::SimulatedDesktop;
    MessagePtr reply =
        call(bus_.get(), kivora::names::helperIdentifier().c_str(), SimulatedDesktop::kObjectPath,
             SimulatedDesktop::kInterface, method, append, timeoutSeconds, error);
    // A helper on a real desktop has no control interface to offer.
    if (!reply && (error.ends_with("(org.freedesktop.DBus.Error.UnknownObject)") ||
                   error.ends_with("(org.freedesktop.DBus.Error.UnknownInterface)"))) {
        error = "the helper serves no simulated desktop (" + error + ")";
    }
    return reply;
}

}  // namespace kivoractl
