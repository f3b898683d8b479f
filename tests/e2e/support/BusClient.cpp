#include "e2e/support/BusClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <system_error>

#include "e2e/support/PrivateBus.h"
#include "platform/linux/DBusNotificationCodec.h"

namespace kivora::e2e {

namespace {

std::string errnoText(int negativeErrno) {
    return std::generic_category().message(-negativeErrno);
}

std::uint64_t microseconds(Duration d) {
    return d.count() <= 0 ? 1 : static_cast<std::uint64_t>(d.count()) * 1000;
}

}  // namespace

BusClient::BusClient(const PrivateBus& bus, Collect collect)
    : BusClient(bus.address(), collect) {}

BusClient::BusClient(const std::string& address, Collect collect) {
    sd_bus* raw = nullptr;
    int r = sd_bus_new(&raw);
    if (r < 0) {
        throw std::runtime_error("sd_bus_new: " + errnoText(r));
    }
    bus_.reset(raw);
    r = sd_bus_set_address(raw, address.c_str());
    if (r >= 0) {
        r = sd_bus_set_bus_client(raw, 1);
    }
    if (r >= 0) {
        r = sd_bus_start(raw);
    }
    if (r < 0) {
        throw std::runtime_error("cannot connect to " + address + ": " + errnoText(r));
    }
    sd_bus_slot* slot = nullptr;
    std::string rule = std::string("type='signal',interface='") + linux_::wire::kInterface +
                       "',member='" + linux_::wire::kMember + "'";
    if (collect == Collect::fromHelperOnly) {
        rule += std::string(",sender='") + kHelperBusName + "'";
    }
    r = sd_bus_add_match(raw, &slot, rule.c_str(), &BusClient::onPost, this);
    if (r < 0) {
        throw std::runtime_error("cannot watch notifications: " + errnoText(r));
    }
    match_.reset(slot);
    const char* unique = nullptr;
    r = sd_bus_get_unique_name(raw, &unique);
    if (r < 0) {
        throw std::runtime_error("no unique name: " + errnoText(r));
    }
    uniqueName_ = unique;
}

BusClient::~BusClient() = default;

int BusClient::onPost(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* client = static_cast<BusClient*>(userdata);
    const char* sender = sd_bus_message_get_sender(message);
    if (sender != nullptr && client->uniqueName_ == sender) {
        return 0;  // our own broadcast
    }
    linux_::wire::DecodeResult decoded = linux_::wire::decodePost(message);
    if (decoded.notification) {
        client->received_.push_back(std::move(*decoded.notification));
        client->consumed_.push_back(false);
    }
    return 0;
}

bool BusClient::pumpUntil(Clock::time_point deadline) {
    bool processed = false;
    for (;;) {
        const int r = sd_bus_process(bus(), nullptr);
        if (r < 0) {
            return false;
        }
        if (r > 0) {
            processed = true;
            continue;  // more may be queued
        }
        const auto now = Clock::now();
        if (processed || now >= deadline) {
            return true;  // let the caller look at what arrived
        }
        const int w =
            sd_bus_wait(bus(), microseconds(std::chrono::duration_cast<Duration>(deadline - now)));
        if (w < 0 && w != -EINTR) {
            return false;
        }
        if (w == 0) {
            return true;
        }
    }
}

linux_::MessagePtr BusClient::newPost() {
    sd_bus_message* raw = nullptr;
    const int r = sd_bus_message_new_signal(bus(), &raw, linux_::wire::kPath,
                                            linux_::wire::kInterface, linux_::wire::kMember);
    if (r < 0) {
        ADD_FAILURE() << "cannot create a Post signal: " << errnoText(r);
        return nullptr;
    }
    return linux_::MessagePtr(raw);
}

bool BusClient::send(linux_::MessagePtr message, int appendResult) {
    if (appendResult < 0) {
        ADD_FAILURE() << "cannot build a Post signal: " << errnoText(appendResult);
        return false;
    }
    int r = sd_bus_send(bus(), message.get(), nullptr);
    if (r >= 0) {
        r = sd_bus_flush(bus());
    }
    if (r < 0) {
        ADD_FAILURE() << "cannot send a Post signal: " << errnoText(r);
        return false;
    }
    return true;
}

bool BusClient::post(const std::string& name, const std::optional<std::string>& object,
                     const Dictionary& userInfo) {
    linux_::wire::EncodeResult encoded = linux_::wire::encodePost(bus(), name, object, userInfo);
    if (!encoded.message) {
        ADD_FAILURE() << "cannot encode " << name << ": " << encoded.error;
        return false;
    }
    return send(std::move(encoded.message), 0);
}

std::optional<Notification> BusClient::waitFor(std::string_view name, Duration timeout) {
    const auto deadline = Clock::now() + scaled(timeout);
    for (;;) {
        for (std::size_t i = 0; i < received_.size(); ++i) {
            if (!consumed_[i] && received_[i].name == name) {
                consumed_[i] = true;
                return received_[i];
            }
        }
        if (Clock::now() >= deadline || !pumpUntil(deadline)) {
            return std::nullopt;
        }
    }
}

std::size_t BusClient::count(std::string_view name) {
    pumpUntil(Clock::now());
    return static_cast<std::size_t>(std::count_if(received_.begin(), received_.end(),
                                                  [&](const auto& n) { return n.name == name; }));
}

const std::vector<Notification>& BusClient::received() {
    pumpUntil(Clock::now());
    return received_;
}

void BusClient::clear() {
    pumpUntil(Clock::now());
    received_.clear();
    consumed_.clear();
}

BusClient::CallResult BusClient::call(linux_::MessagePtr message, int buildResult,
                                      Duration timeout) {
    CallResult result;
    if (buildResult < 0) {
        result.errorName = "org.freedesktop.DBus.Error.InvalidArgs";
        result.errorMessage = "cannot build the call: " + errnoText(buildResult);
        return result;
    }
    linux_::BusError error;
    sd_bus_message* reply = nullptr;
    const int r =
        sd_bus_call(bus(), message.get(), microseconds(scaled(timeout)), error.get(), &reply);
    if (r < 0) {
        result.errorName = error.isSet() ? error.name() : "errno";
        result.errorMessage = error.isSet() ? error.message() : errnoText(r);
        return result;
    }
    result.reply.reset(reply);
    return result;
}

bool BusClient::ping(const std::string& destination, Duration timeout) {
    sd_bus_message* raw = nullptr;
    const int r = sd_bus_message_new_method_call(bus(), &raw, destination.c_str(), "/",
                                                 "org.freedesktop.DBus.Peer", "Ping");
    const CallResult result = call(linux_::MessagePtr(raw), r, timeout);
    // Notifications that came in before the answer are collected already (sd-bus queued
    // them); process them so that count() and received() see them.
    pumpUntil(Clock::now());
    return result.ok();
}

std::optional<pid_t> BusClient::nameOwnerPid(const std::string& name) {
    sd_bus_message* raw = nullptr;
    int r =
        sd_bus_message_new_method_call(bus(), &raw, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", "GetConnectionUnixProcessID");
    linux_::MessagePtr message(raw);
    if (r >= 0) {
        r = sd_bus_message_append(raw, "s", name.c_str());
    }
    CallResult result = call(std::move(message), r);
    std::uint32_t pid = 0;
    if (!result.ok() || sd_bus_message_read(result.reply.get(), "u", &pid) < 0) {
        return std::nullopt;
    }
    return static_cast<pid_t>(pid);
}

bool BusClient::waitForName(const std::string& name, bool owned, Duration timeout) {
    const auto deadline = Clock::now() + scaled(timeout);
    for (;;) {
        if (nameOwnerPid(name).has_value() == owned) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        pumpUntil(std::min(deadline, Clock::now() + Duration(10)));
    }
}

bool BusClient::expectOk(const CallResult& result, const char* method) {
    if (!result.ok()) {
        ADD_FAILURE() << "desktop " << method << " failed: " << result.errorName << ": "
                      << result.errorMessage;
    }
    return result.ok();
}

bool BusClient::activate(const std::string& bundleIdentifier) {
    return expectOk(callDesktop("Activate", "s", bundleIdentifier.c_str()), "Activate");
}

bool BusClient::activateProcess(std::int32_t processIdentifier) {
    return expectOk(callDesktop("ActivateProcess", "i", processIdentifier), "ActivateProcess");
}

bool BusClient::quit(const std::string& bundleIdentifier) {
    return expectOk(callDesktop("Quit", "s", bundleIdentifier.c_str()), "Quit");
}

bool BusClient::setTrusted(bool trusted) {
    return expectOk(callDesktop("SetTrusted", "b", static_cast<int>(trusted)), "SetTrusted");
}

std::vector<std::string> BusClient::pressedItems() {
    std::vector<std::string> items;
    CallResult result = callDesktop("PressedItems");
    if (!expectOk(result, "PressedItems")) {
        return items;
    }
    sd_bus_message* reply = result.reply.get();
    if (sd_bus_message_enter_container(reply, 'a', "s") > 0) {
        const char* item = nullptr;
        while (sd_bus_message_read_basic(reply, 's', &item) > 0) {
            items.emplace_back(item);
        }
        sd_bus_message_exit_container(reply);
    }
    return items;
}

std::vector<KeyboardEvent> BusClient::keyEvents() {
    std::vector<KeyboardEvent> events;
    CallResult result = callDesktop("KeyEvents");
    if (!expectOk(result, "KeyEvents")) {
        return events;
    }
    sd_bus_message* reply = result.reply.get();
    if (sd_bus_message_enter_container(reply, 'a', "(qbt)") > 0) {
        std::uint16_t keyCode = 0;
        int keyDown = 0;
        std::uint64_t flags = 0;
        while (sd_bus_message_read(reply, "(qbt)", &keyCode, &keyDown, &flags) > 0) {
            events.push_back({keyCode, keyDown != 0, flags});
        }
        sd_bus_message_exit_container(reply);
    }
    return events;
}

std::uint32_t BusClient::promptCount() {
    CallResult result = callDesktop("PromptCount");
    std::uint32_t count = 0;
    if (expectOk(result, "PromptCount")) {
        sd_bus_message_read(result.reply.get(), "u", &count);
    }
    return count;
}

}  // namespace kivora::e2e
