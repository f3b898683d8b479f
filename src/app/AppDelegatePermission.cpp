// Accessibility permission: answer "AccessibilityStatus" once the permission is granted,
// polling every five seconds and prompting the user at most once per process.
#include "app/AppDelegate.h"
#include "app/NotificationCenterManager.h"
#include "messaging/NotificationNames.h"
#include "platform/UnicodeString.h"

namespace kivora {

namespace {
constexpr double kPermissionPollInterval = 5.0;
}

void AppDelegate::handleAccessibilityEnabled(const Notification& notification) {
    if (!canonicallyEqual(notification.name, names::accessibilityStatus())) {
        return;
    }
    if (timer) {
        timer->invalidate();
    }
    timer = platform_.runLoop.scheduledTimer(kPermissionPollInterval, true,
                                             [this] { checkAccessibilityPermissions(); });
    checkAccessibilityPermissions();
}

void AppDelegate::checkAccessibilityPermissions() {
    if (platform_.accessibility.isProcessTrusted()) {
        platform_.console.writeLine("已开启辅助功能");
        if (timer) {
            timer->invalidate();
            timer.reset();
        }
        const bool enabled = checkTrustWithPrompt();
        NotificationCenterManager::shared();
        platform_.notificationCenter.postNotification(
            names::accessibilityStatusResponse(), std::nullopt,
            Dictionary{{names::isEnabledKey(), enabled}}, true);
        return;
    }
    platform_.console.writeLine("没有开启辅助功能");
    if (!isPopupShown) {
        checkTrustWithPrompt();
        isPopupShown = true;
    }
}

bool AppDelegate::checkTrustWithPrompt() {
    const bool trusted = platform_.accessibility.isProcessTrustedWithPrompt();
    platform_.console.writeLine(trusted ? "accessEnabled: true" : "accessEnabled: false");
    return trusted;
}

}  // namespace kivora
