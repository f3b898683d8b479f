#pragma once

#include "messaging/Notification.h"

namespace kivora {

// Stateless; its one shared instance (created on first use, thread-safely, never released) is
// obtained before the helper talks to the notification center, and is never subscribed to
// anything.
class NotificationCenterManager {
public:
    static NotificationCenterManager& shared();
    NotificationCenterManager(const NotificationCenterManager&) = delete;
    NotificationCenterManager& operator=(const NotificationCenterManager&) = delete;

    void handleNotification(const Notification& notification);

private:
    NotificationCenterManager() = default;
};

}  // namespace kivora
