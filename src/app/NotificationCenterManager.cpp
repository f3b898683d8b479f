#include "app/NotificationCenterManager.h"

namespace kivora {

NotificationCenterManager& NotificationCenterManager::shared() {
    static NotificationCenterManager* instance = new NotificationCenterManager();  // never freed
    return *instance;
}

void NotificationCenterManager::handleNotification(const Notification& /*notification*/) {}

}  // namespace kivora
