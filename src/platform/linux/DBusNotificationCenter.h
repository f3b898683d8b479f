#pragma once
// The distributed notification center over a D-Bus connection (the session bus), in the wire
// format of DBusNotificationCodec.h.

#include <optional>
#include <string>
#include <vector>

#include "platform/NotificationCenter.h"
#include "platform/linux/Diagnostics.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_ {

class DBusNotificationCenter : public NotificationCenter {
  public:
    // Serves the notifications that arrive on `bus` (it takes a reference). Problems with
    // incoming or outgoing notifications go to `diagnostics`, one line each.
    explicit DBusNotificationCenter(sd_bus* bus, DiagnosticSink diagnostics = writeDiagnostic);
    DBusNotificationCenter(const DBusNotificationCenter&) = delete;
    DBusNotificationCenter& operator=(const DBusNotificationCenter&) = delete;
    ~DBusNotificationCenter() override;

    // Installs the observer's match rule on the bus before it returns, so that a notification
    // posted after this call reaches it.
    void addObserver(Observer observer, std::optional<std::string> name,
                     std::optional<std::string> object) override;
    void postNotification(const std::string& name, const std::optional<std::string>& object,
                          const Dictionary& userInfo, bool deliverImmediately) override;

  private:
    struct Subscription {
        Observer observer;
        std::optional<std::string> name;
        std::optional<std::string> object;
        SlotPtr match;
    };

    static int onMessage(sd_bus_message* message, void* userdata, sd_bus_error* error);
    void dispatch(sd_bus_message* message);
    bool matches(const Subscription& subscription, const Notification& notification) const;

    BusRef bus_;
    DiagnosticSink diagnostics_;
    SlotPtr filter_;
    std::vector<Subscription> subscriptions_;
};

}  // namespace kivora::linux_
