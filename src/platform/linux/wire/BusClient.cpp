#include "platform/linux/wire/BusClient.h"

#include <algorithm>
#include <system_error>

#include "platform/linux/wire/DBusNotificationCodec.h"

namespace kivora::linux_::wire {

namespace {

std::string errnoText(int negativeErrno) {
    return std::generic_category().message(-negativeErrno);
}

std::uint64_t microseconds(Clock::duration d) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    return us <= 0 ? 1 : static_cast<std::uint64_t>(us);
}

std::string describe(BusError& error, int result) {
    if (!error.isSet()) {
        return errnoText(result);
    }
    return error.message().empty() ? error.name() : error.message() + " (" + error.name() + ")";
}

}  // namespace

BusClient::BusClient(sd_bus* bus) : bus_(bus) {
    const char* unique = nullptr;
    if (sd_bus_get_unique_name(bus, &unique) >= 0) {
        uniqueName_ = unique;
    }
}
BusClient::~BusClient() = default;

sd_bus* BusClient::open(const std::string& address, std::string& error) {
    sd_bus* raw = nullptr;
    int r = 0;
    if (address.empty()) {
        r = sd_bus_open_user(&raw);
    } else if ((r = sd_bus_new(&raw)) >= 0) {
        r = sd_bus_set_address(raw, address.c_str());
        if (r >= 0) {
            r = sd_bus_set_bus_client(raw, 1);
        }
        if (r >= 0) {
            r = sd_bus_start(raw);
        }
    }
    if (r < 0) {
        sd_bus_unref(raw);
        error = "cannot connect to " + (address.empty() ? "the session bus" : address) + ": " +
                errnoText(r);
        return nullptr;
    }
    return raw;
}

std::unique_ptr<BusClient> BusClient::connect(const std::string& address, std::string& error) {
    sd_bus* bus = open(address, error);
    return bus != nullptr ? std::unique_ptr<BusClient>(new BusClient(bus)) : nullptr;
}

bool BusClient::fail(std::string message) {
    error_ = std::move(message);
    return false;
}

// --- Notifications ---------------------------------------------------------------------

bool BusClient::subscribe(const Subscription& subscription) {
    std::string rule = matchRule(subscription.name, std::nullopt);
    if (subscription.helperOnly) {
        rule += ",sender='" + helperBusName() + "'";
    }
    auto match = std::make_unique<Match>(Match{this, subscription.decode, nullptr});
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_match(bus(), &slot, rule.c_str(), &BusClient::onPost, match.get());
    if (r < 0) {
        return fail("cannot subscribe to " + subscription.name.value_or("notifications") + ": " +
                    errnoText(r));
    }
    match->slot.reset(slot);
    matches_.push_back(std::move(match));
    return true;
}

int BusClient::onPost(sd_bus_message* message, void* userdata, sd_bus_error*) {
    const auto* match = static_cast<Match*>(userdata);
    BusClient* self = match->client;
    const char* sender = sd_bus_message_get_sender(message);
    if (sender != nullptr && self->uniqueName_ == sender) {
        return 0;  // our own broadcast
    }
    if (!match->decode) {
        const char* name = nullptr;
        if (sd_bus_message_read_basic(message, 's', &name) > 0) {
            ++self->arrivals_[name];
        }
        return 0;
    }
    DecodeResult decoded = decodePost(message);
    if (decoded.notification) {
        ++self->arrivals_[decoded.notification->name];
        self->received_.push_back(std::move(*decoded.notification));
        self->consumed_.push_back(false);
    }
    return 0;
}

MessagePtr BusClient::newPost() {
    sd_bus_message* raw = nullptr;
    const int r = sd_bus_message_new_signal(bus(), &raw, kPath, kInterface, kMember);
    if (r < 0) {
        fail("cannot create a Post signal: " + errnoText(r));
    }
    return MessagePtr(raw);
}

bool BusClient::send(sd_bus_message* message, int buildResult) {
    if (buildResult < 0) {
        return fail("cannot build a Post signal: " + errnoText(buildResult));
    }
    int r = sd_bus_send(bus(), message, nullptr);
    if (r >= 0) {
        r = sd_bus_flush(bus());
    }
    return r >= 0 || fail("cannot send a Post signal: " + errnoText(r));
}

bool BusClient::post(const std::string& name, const std::optional<std::string>& object,
                     const Dictionary& userInfo) {
    EncodeResult encoded = encodePost(bus(), name, object, userInfo);
    if (!encoded.message) {
        return fail("cannot send " + name + ": " + encoded.error);
    }
    return send(encoded.message.get(), 0);
}

template <typename Done>
BusClient::WaitOutcome BusClient::runUntil(Done done, Clock::time_point deadline) {
    for (;;) {
        if (done()) {
            return WaitOutcome::Done;
        }
        const int r = sd_bus_process(bus(), nullptr);
        if (r < 0) {
            fail("lost the bus: " + errnoText(r));
            return WaitOutcome::Failed;
        }
        if (r > 0) {
            continue;  // more may be queued
        }
        if (done()) {
            return WaitOutcome::Done;
        }
        if (ownerLeft_ && ownerMatch_) {
            return WaitOutcome::OwnerLeft;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return WaitOutcome::TimedOut;
        }
        const int w = sd_bus_wait(bus(), microseconds(deadline - now));
        if (w < 0 && w != -EINTR) {
            fail("lost the bus: " + errnoText(w));
            return WaitOutcome::Failed;
        }
    }
}

std::optional<Notification> BusClient::waitFor(std::string_view name, Duration timeout) {
    std::optional<Notification> found;
    runUntil(
        [&] {
            for (std::size_t i = 0; i < received_.size(); ++i) {
                if (!consumed_[i] && received_[i].name == name) {
                    consumed_[i] = true;
                    found = received_[i];
                    return true;
                }
            }
            return false;
        },
        Clock::now() + timeout);
    return found;
}

BusClient::WaitOutcome BusClient::waitForAll(const std::vector<std::string>& names,
                                             Duration timeout) {
    return runUntil(
        [&] {
            return std::all_of(names.begin(), names.end(),
                               [&](const auto& name) { return first(name) != nullptr; });
        },
        Clock::now() + timeout);
}

bool BusClient::waitForCount(const std::string& name, std::uint64_t wanted,
                             Clock::time_point deadline) {
    return runUntil([&] { return arrivals_[name] >= wanted; }, deadline) == WaitOutcome::Done;
}

const Notification* BusClient::first(std::string_view name) const {
    const auto it = std::find_if(received_.begin(), received_.end(),
                                 [&](const Notification& n) { return n.name == name; });
    return it == received_.end() ? nullptr : &*it;
}

std::uint64_t BusClient::count(std::string_view name) {
    runUntil([] { return false; }, Clock::now());
    const auto it = arrivals_.find(name);
    return it == arrivals_.end() ? 0 : it->second;
}

const std::vector<Notification>& BusClient::received() {
    runUntil([] { return false; }, Clock::now());
    return received_;
}

void BusClient::clear() {
    runUntil([] { return false; }, Clock::now());
    received_.clear();
    consumed_.clear();
    arrivals_.clear();
}

// --- Calls and names ---------------------------------------------------------------------

template <typename Append>
MessagePtr BusClient::call(const char* destination, const char* path, const char* interface,
                           const char* member, Append append, Duration timeout) {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus(), &raw, destination, path, interface, member);
    MessagePtr request(raw);
    if (r >= 0) {
        r = append(request.get());
    }
    if (r < 0) {
        fail(std::string("cannot build the call ") + member + ": " + errnoText(r));
        return nullptr;
    }
    // Only startHelper may start the helper; everything else talks to a running one.
    sd_bus_message_set_auto_start(request.get(), 0);
    BusError error;
    sd_bus_message* reply = nullptr;
    r = sd_bus_call(bus(), request.get(), microseconds(timeout), error.get(), &reply);
    if (r < 0) {
        fail(std::string(member) + ": " + describe(error, r));
        return nullptr;
    }
    return MessagePtr(reply);
}

namespace {
constexpr auto kNoArguments = [](sd_bus_message*) { return 0; };
}

bool BusClient::ping(const std::string& destination, Duration timeout) {
    const bool answered = call(destination.c_str(), "/", "org.freedesktop.DBus.Peer", "Ping",
                               kNoArguments, timeout) != nullptr;
    // Notifications that came in before the answer are queued already; take them in.
    runUntil([] { return false; }, Clock::now());
    return answered;
}

std::optional<bool> BusClient::nameHasOwner(const std::string& name) {
    MessagePtr reply = call(
        kDaemonName, kDaemonPath, kDaemonInterface, "NameHasOwner",
        [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", name.c_str()); },
        callTimeout_);
    int owned = 0;
    if (!reply || sd_bus_message_read(reply.get(), "b", &owned) < 0) {
        fail("cannot ask the bus who owns " + name + (reply ? "" : ": " + error_));
        return std::nullopt;
    }
    return owned != 0;
}

std::optional<pid_t> BusClient::nameOwnerPid(const std::string& name) {
    MessagePtr reply = call(
        kDaemonName, kDaemonPath, kDaemonInterface, "GetConnectionUnixProcessID",
        [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", name.c_str()); },
        callTimeout_);
    std::uint32_t pid = 0;
    if (!reply || sd_bus_message_read(reply.get(), "u", &pid) < 0) {
        return std::nullopt;
    }
    return static_cast<pid_t>(pid);
}

bool BusClient::waitForName(const std::string& name, bool owned, Duration timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (nameOwnerPid(name).has_value() == owned) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        runUntil([] { return false; }, std::min(deadline, Clock::now() + Duration(10)));
    }
}

bool BusClient::startHelper(Duration timeout) {
    const std::string& name = helperBusName();
    MessagePtr reply = call(
        kDaemonName, kDaemonPath, kDaemonInterface, "StartServiceByName",
        [&](sd_bus_message* m) { return sd_bus_message_append(m, "su", name.c_str(), 0U); },
        timeout);
    return reply != nullptr;
}

bool BusClient::watchOwner(const std::string& name) {
    const std::string rule = std::string("type='signal',sender='") + kDaemonName + "',path='" +
                             kDaemonPath + "',interface='" + kDaemonInterface +
                             "',member='NameOwnerChanged',arg0='" + name + "'";
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_match(bus(), &slot, rule.c_str(), &BusClient::onOwnerChanged, this);
    if (r < 0) {
        return fail("cannot watch " + name + ": " + errnoText(r));
    }
    ownerMatch_.reset(slot);
    return true;
}

int BusClient::onOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* self = static_cast<BusClient*>(userdata);
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) >= 0 &&
        newOwner != nullptr) {
        if (newOwner[0] == '\0') {
            self->ownerLeft_ = true;
        } else {
            self->ownerLeft_ = false;
            self->ownedAt_ = Clock::now();
        }
    }
    return 0;
}

BusClient::WaitOutcome BusClient::waitForOwnerToLeave(Duration timeout) {
    return runUntil([&] { return ownerLeft_; }, Clock::now() + timeout);
}

bool BusClient::waitForOwner(Clock::time_point deadline) {
    return runUntil([&] { return ownedAt_.has_value(); }, deadline) == WaitOutcome::Done;
}

// --- Simulated desktop -------------------------------------------------------------------

template <typename... Args>
MessagePtr BusClient::callDesktop(const char* method, const char* signature, Args... args) {
    MessagePtr reply = call(
        helperBusName().c_str(), kDesktopPath, kDesktopInterface, method,
        [&](sd_bus_message* m) {
            if constexpr (sizeof...(Args) > 0) {
                return sd_bus_message_append(m, signature, args...);
            }
            return 0;
        },
        callTimeout_);
    // A helper on a real desktop has no control object to offer.
    if (!reply && (error_.ends_with("(org.freedesktop.DBus.Error.UnknownObject)") ||
                   error_.ends_with("(org.freedesktop.DBus.Error.UnknownInterface)"))) {
        fail("the helper serves no simulated desktop (" + error_ + ")");
    }
    return reply;
}

bool BusClient::activate(const std::string& bundleIdentifier) {
    return callDesktop("Activate", "s", bundleIdentifier.c_str()) != nullptr;
}

bool BusClient::activateProcess(std::int32_t processIdentifier) {
    return callDesktop("ActivateProcess", "i", processIdentifier) != nullptr;
}

bool BusClient::quit(const std::string& bundleIdentifier) {
    return callDesktop("Quit", "s", bundleIdentifier.c_str()) != nullptr;
}

bool BusClient::setTrusted(bool trusted) {
    return callDesktop("SetTrusted", "b", static_cast<int>(trusted)) != nullptr;
}

std::optional<std::vector<std::string>> BusClient::pressedItems() {
    MessagePtr reply = callDesktop("PressedItems", "");
    if (!reply) {
        return std::nullopt;
    }
    if (sd_bus_message_enter_container(reply.get(), 'a', "s") < 0) {
        fail("PressedItems: unexpected reply");
        return std::nullopt;
    }
    std::vector<std::string> items;
    const char* item = nullptr;
    while (sd_bus_message_read_basic(reply.get(), 's', &item) > 0) {
        items.emplace_back(item);
    }
    return items;
}

std::optional<std::vector<KeyboardEvent>> BusClient::keyEvents() {
    MessagePtr reply = callDesktop("KeyEvents", "");
    if (!reply) {
        return std::nullopt;
    }
    if (sd_bus_message_enter_container(reply.get(), 'a', "(qbt)") < 0) {
        fail("KeyEvents: unexpected reply");
        return std::nullopt;
    }
    std::vector<KeyboardEvent> events;
    std::uint16_t keyCode = 0;
    int keyDown = 0;
    std::uint64_t flags = 0;
    while (sd_bus_message_read(reply.get(), "(qbt)", &keyCode, &keyDown, &flags) > 0) {
        events.push_back({keyCode, keyDown != 0, flags});
    }
    return events;
}

std::optional<std::uint32_t> BusClient::promptCount() {
    MessagePtr reply = callDesktop("PromptCount", "");
    std::uint32_t count = 0;
    if (!reply) {
        return std::nullopt;
    }
    if (sd_bus_message_read(reply.get(), "u", &count) < 0) {
        fail("PromptCount: unexpected reply");
        return std::nullopt;
    }
    return count;
}

}  // namespace kivora::linux_::wire
