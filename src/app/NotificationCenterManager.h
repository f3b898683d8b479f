#pragma once

#include "messaging/Notification.h"

namespace kivora {

// Stateless; its one shared instance is obtained before the helper talks to the notification
// center, and is never subscribed to anything.
class NotificationCenterManager {
public:
    static NotificationCenterManager& shared();
    void handleNotification(const Notification& notification);

private:
    NotificationCenterManager() = default;
};

}  // namespace kivora
