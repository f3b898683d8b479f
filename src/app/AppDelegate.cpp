#include "app/AppDelegate.h"

#include "app/NotificationCenterManager.h"
#include "messaging/NotificationNames.h"
#include "platform/UnicodeString.h"

namespace kivora {

namespace {
constexpr std::string_view kFrontmostApplicationKeyPath = "frontmostApplication";
}

AppDelegate::AppDelegate(const Platform& platform) : platform_(platform) {}

void AppDelegate::applicationDidFinishLaunching() {
    NotificationCenterManager::shared();
    auto& center = platform_.notificationCenter;
    const std::string& helper = names::helperIdentifier();

    center.addObserver([this](const Notification& n) { handleAccessibilityEnabled(n); },
                       names::accessibilityStatus(), std::nullopt);
    center.addObserver([this](const Notification& n) { handleNotification(n); }, std::nullopt,
                       helper);
    center.addObserver([this](const Notification& n) { handleMainAppTermination(n); },
                       names::terminateSubApp(), helper);
    center.addObserver([this](const Notification& n) { handleCurrentShortcut(n); }, std::nullopt,
                       helper);
    center.addObserver([this](const Notification& n) { handleCurrentShortcutClicked(n); },
                       std::nullopt, helper);
    center.addObserver([this](const Notification& n) { handleSystemShortcutClicked(n); },
                       std::nullopt, helper);

    platform_.workspace.addObserver(
        kFrontmostApplicationKeyPath,
        [this](const std::optional<std::string>& keyPath) { observeValueForKeyPath(keyPath); });
}

void AppDelegate::applicationWillTerminate() {
    platform_.workspace.removeObserver(kFrontmostApplicationKeyPath);
}

namespace {

// Two absent identifiers are equal; an absent and a present one are not.
bool sameIdentifier(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (!a || !b) {
        return !a && !b;
    }
    return canonicallyEqual(*a, *b);
}

}  // namespace

void AppDelegate::observeValueForKeyPath(const std::optional<std::string>& keyPath) {
    if (!keyPath || !canonicallyEqual(*keyPath, kFrontmostApplicationKeyPath)) {
        return;
    }
    RunningApplicationRef frontmost = platform_.workspace.frontmostApplication();
    const std::optional<std::string> frontmostIdentifier =
        frontmost ? frontmost->bundleIdentifier() : std::nullopt;
    const std::optional<std::string> helperIdentifier = platform_.bundle.bundleIdentifier();

    if (sameIdentifier(frontmostIdentifier, helperIdentifier)) {
        return;
    }
    if (frontmostIdentifier &&
        canonicallyEqual(*frontmostIdentifier, names::mainApplicationIdentifier())) {
        return;
    }
    previousActiveApplication = std::move(frontmost);
}

void AppDelegate::handleMainAppTermination(const Notification& notification) {
    if (!canonicallyEqual(notification.name, names::terminateSubApp())) {
        return;
    }
    platform_.runLoop.terminate();
}

}  // namespace kivora
