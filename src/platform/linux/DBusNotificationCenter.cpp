#include "platform/linux/DBusNotificationCenter.h"

#include <exception>
#include <system_error>

#include "platform/UnicodeString.h"
#include "platform/linux/Errno.h"
#include "platform/linux/wire/DBusNotificationCodec.h"

namespace kivora::linux_ {

namespace {

std::string senderOf(sd_bus_message* message) {
    const char* sender = sd_bus_message_get_sender(message);
    return sender != nullptr ? sender : "an unknown sender";
}

// The rules only make the bus route notifications here; delivery happens in the filter, in
// one place, in the order the observers were added.
int routeOnly(sd_bus_message*, void*, sd_bus_error*) {
    return 0;
}

}  // namespace

DBusNotificationCenter::DBusNotificationCenter(sd_bus* bus, DiagnosticSink diagnostics,
                                               wire::UserInfoKeys userInfo)
    : bus_(refBus(bus)), diagnostics_(std::move(diagnostics)), userInfo_(std::move(userInfo)) {
    sd_bus_slot* slot = nullptr;
    if (const int r = sd_bus_add_filter(bus, &slot, &DBusNotificationCenter::onMessage, this);
        r < 0) {
        throw std::system_error(-r, std::generic_category(),
                                "cannot receive notifications on the bus");
    }
    filter_.reset(slot);
}

DBusNotificationCenter::~DBusNotificationCenter() = default;

void DBusNotificationCenter::addObserver(Observer observer, std::optional<std::string> name,
                                         std::optional<std::string> object) {
    sd_bus_slot* slot = nullptr;
    const std::string rule = wire::matchRule(name, object);
    if (const int r = sd_bus_add_match(bus_.get(), &slot, rule.c_str(), &routeOnly, nullptr);
        r < 0) {
        diagnostics_("cannot subscribe to notifications (" + rule + "): " + errnoText(r));
    }
    subscriptions_.push_back(
        {std::move(observer), std::move(name), std::move(object), SlotPtr(slot)});
}

void DBusNotificationCenter::postNotification(const std::string& name,
                                              const std::optional<std::string>& object,
                                              const Dictionary& userInfo, bool) {
    // Every D-Bus signal is delivered immediately; there is no suspended delivery to bypass.
    send(name, wire::encodePost(bus_.get(), name, object, userInfo));
}

void DBusNotificationCenter::postShortcutList(const std::string& name,
                                              const std::optional<std::string>& object,
                                              const std::string& key, const ShortcutList& list,
                                              bool) {
    send(name, wire::encodeShortcutListPost(bus_.get(), name, object, key, list));
}

void DBusNotificationCenter::send(const std::string& name, wire::EncodeResult encoded) {
    for (const std::string& warning : encoded.warnings) {
        diagnostics_("posting " + quoteForDiagnostic(name) + ": " + warning);
    }
    if (!encoded.message) {
        diagnostics_("cannot post " + quoteForDiagnostic(name) + ": " + encoded.error);
        return;
    }
    if (const int r = sd_bus_send(bus_.get(), encoded.message.get(), nullptr); r < 0) {
        // A lost connection is reported once, by the event loop that ends the process; a line
        // for every reply that could no longer go out would only repeat it.
        if (sd_bus_is_open(bus_.get()) > 0) {
            diagnostics_("cannot post " + quoteForDiagnostic(name) + ": " + errnoText(r));
        }
    }
}

int DBusNotificationCenter::onMessage(sd_bus_message* message, void* userdata, sd_bus_error*) {
    // A C callback: nothing may be thrown through it.
    auto* center = static_cast<DBusNotificationCenter*>(userdata);
    try {
        if (wire::isPost(message)) {
            center->dispatch(message);
        }
    } catch (const std::exception& e) {
        writeDiagnostic(std::string("a notification could not be handled: ") + e.what());
    } catch (...) {
        writeDiagnostic("a notification could not be handled");
    }
    return 0;
}

void DBusNotificationCenter::dispatch(sd_bus_message* message) {
    wire::DecodeResult decoded = wire::decodePost(message, userInfo_);
    if (!decoded.notification) {
        diagnostics_("dropped a notification from " + senderOf(message) + ": " + decoded.error);
        return;
    }
    const Notification& notification = *decoded.notification;
    for (const std::string& warning : decoded.warnings) {
        diagnostics_("notification " + quoteForDiagnostic(notification.name) + " from " +
                     senderOf(message) + ": " + warning);
    }
    // Each canonical form is worked out at most once, however many filters check it.
    const CanonicalText name(notification.name);
    const std::optional<CanonicalText> object =
        notification.object ? std::optional<CanonicalText>(*notification.object) : std::nullopt;
    // By index, on copies: an observer may add observers while we deliver.
    bool first = true;
    for (std::size_t i = 0; i < subscriptions_.size(); ++i) {
        if (!matches(subscriptions_[i], name, object ? &*object : nullptr)) {
            continue;
        }
        if (first && beforeDelivery_) {
            beforeDelivery_();
        }
        first = false;
        Observer observer = subscriptions_[i].observer;
        try {
            observer(notification);
        } catch (const std::exception& e) {
            diagnostics_("an observer of " + quoteForDiagnostic(notification.name) +
                         " failed: " + e.what());
        } catch (...) {
            diagnostics_("an observer of " + quoteForDiagnostic(notification.name) + " failed");
        }
    }
}

bool DBusNotificationCenter::matches(const Subscription& subscription, const CanonicalText& name,
                                     const CanonicalText* object) {
    if (subscription.name && !canonicallyEqual(CanonicalText(*subscription.name), name)) {
        return false;
    }
    if (subscription.object &&
        (object == nullptr || !canonicallyEqual(CanonicalText(*subscription.object), *object))) {
        return false;
    }
    return true;
}

}  // namespace kivora::linux_
