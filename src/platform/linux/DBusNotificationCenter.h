#pragma once
// The distributed notification center over a D-Bus connection (the session bus), in the wire
// format of DBusNotificationCodec.h.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/NotificationCenter.h"
#include "platform/UnicodeString.h"
#include "platform/linux/Diagnostics.h"
#include "platform/linux/wire/DBusNotificationCodec.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_ {

class DBusNotificationCenter : public NotificationCenter {
public:
    // Serves the notifications that arrive on `bus` (it takes a reference). Problems with
    // incoming or outgoing notifications go to `diagnostics`, one line each. Observers see
    // only the user-info entries named by `userInfo` (by default all); a user info nobody
    // reads is never decoded, however large.
    explicit DBusNotificationCenter(sd_bus* bus, DiagnosticSink diagnostics = writeDiagnostic,
                                    wire::UserInfoKeys userInfo = {});
    DBusNotificationCenter(const DBusNotificationCenter&) = delete;
    DBusNotificationCenter& operator=(const DBusNotificationCenter&) = delete;
    ~DBusNotificationCenter() override;

    // Installs the observer's match rule on the bus before it returns, so that a notification
    // posted after this call reaches it.
    void addObserver(Observer observer, std::optional<std::string> name,
                     std::optional<std::string> object) override;
    // Runs `hook` before each notification is delivered, before the first of its observers.
    void setBeforeDelivery(std::function<void()> hook) { beforeDelivery_ = std::move(hook); }
    void postNotification(const std::string& name, const std::optional<std::string>& object,
                          const Dictionary& userInfo, bool deliverImmediately) override;
    void postShortcutList(const std::string& name, const std::optional<std::string>& object,
                          const std::string& key, const ShortcutList& list,
                          bool deliverImmediately) override;

private:
    struct Subscription {
        Observer observer;
        std::optional<std::string> name;
        std::optional<std::string> object;
        SlotPtr match;
    };

    static int onMessage(sd_bus_message* message, void* userdata, sd_bus_error* error);
    void dispatch(sd_bus_message* message);
    void send(const std::string& name, wire::EncodeResult encoded);
    // `object` is null when the notification has none.
    static bool matches(const Subscription& subscription, const CanonicalText& name,
                        const CanonicalText* object);

    BusRef bus_;
    DiagnosticSink diagnostics_;
    wire::UserInfoKeys userInfo_;
    SlotPtr filter_;
    std::function<void()> beforeDelivery_;
    std::vector<Subscription> subscriptions_;
};

}  // namespace kivora::linux_
