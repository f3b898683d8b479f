// The shortcut requests: harvest the target's menu bar and the system shortcuts, answer with
// the lists, and carry out a picked shortcut.
#include "app/AppDelegate.h"
#include "app/NotificationCenterManager.h"
#include "execute/Keystroke.h"
#include "execute/MenuItemPress.h"
#include "menubar/MenuBarWalker.h"
#include "messaging/NotificationNames.h"
#include "platform/UnicodeString.h"
#include "system/SystemShortcutCatalogue.h"

namespace kivora {

namespace {
constexpr std::uint32_t kActivateIgnoringOtherApps = 2;
constexpr double kPauseBeforeHarvest = 0.05;
}  // namespace

void AppDelegate::handleNotification(const Notification& notification) {
    if (!canonicallyEqual(notification.name, names::getSystemShortcut())) {
        return;
    }
    getCurrentShortcuts();  // for its effect on the press arrays and the menu pairs
    const ShortcutList systemShortcuts = getSystemShortcuts();
    platform_.console.writeLine("Kivora---已获取到了所有快捷键-----");
    NotificationCenterManager::shared();
    auto& center = platform_.notificationCenter;
    center.postShortcutList(names::getSystemShortcutResponse(), names::mainApplicationIdentifier(),
                            names::systemShortcutKey(), systemShortcuts, true);
    center.postNotification(
        names::getKeyCodeAndFlagsArr(), names::mainApplicationIdentifier(),
        Dictionary{{names::keyCodeAndFlagsArrDataKey(), keyDictionaries(keyCodeAndFlagsArr)},
                   {names::currentKeyCodeAndFlagsArrDataKey(),
                    keyDictionaries(currentKeyCodeAndFlagsArr)}},
        true);
}

void AppDelegate::handleCurrentShortcut(const Notification& notification) {
    if (!canonicallyEqual(notification.name, names::getCurrentShortcut())) {
        return;
    }
    platform_.console.writeLine(platform_.runLoop.currentThreadDescription());
    const ShortcutList menuShortcuts = getCurrentShortcuts();
    platform_.console.writeLine("子程序中获取的当前程序快捷键个数：" +
                                std::to_string(menuShortcuts.size()));
    NotificationCenterManager::shared();
    platform_.notificationCenter.postShortcutList(names::getCurrentShortcutResponse(),
                                                  names::mainApplicationIdentifier(),
                                                  names::currentShortcutKey(), menuShortcuts, true);
}

ShortcutList AppDelegate::getCurrentShortcuts() {
    currentShortTitle.clear();
    currentElementArr.clear();
    if (previousActiveApplication) {
        previousActiveApplication->activateWithOptions(kActivateIgnoringOtherApps);
    }
    platform_.runLoop.sleepFor(kPauseBeforeHarvest);
    const std::int32_t pid =
        previousActiveApplication ? previousActiveApplication->processIdentifier() : 0;

    MenuBarHarvest harvest = walkMenuBar(platform_.accessibility, pid, &platform_.runLoop);
    currentShortTitle = std::move(harvest.titles);
    currentElementArr = std::move(harvest.elements);
    currentPairRuns_.append(currentKeyCodeAndFlagsArr, harvest.pairs);
    if (harvest.applicationTitle) {
        platform_.console.writeLine(*harvest.applicationTitle);
    }
    return std::move(harvest.list);
}

ShortcutList AppDelegate::getSystemShortcuts() {
    SystemShortcutHarvest harvest =
        readSystemShortcuts(platform_.preferences, platform_.bundle, platform_.console);
    systemPairRuns_.append(keyCodeAndFlagsArr, harvest.pairs);
    return std::move(harvest.list);
}

void AppDelegate::handleCurrentShortcutClicked(const Notification& notification) {
    pressMenuItem(notification.name, currentShortTitle, currentElementArr, platform_.accessibility,
                  platform_.console);
}

void AppDelegate::handleSystemShortcutClicked(const Notification& notification) {
    handleSystemShortcutClick(notification.name, keyCodeAndFlagsArr, platform_.eventTap,
                              platform_.console);
}

}  // namespace kivora
