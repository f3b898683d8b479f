#pragma once
// The application delegate: all lasting state of the helper, the launch registration, and
// every callback the platform makes into the helper's logic.

#include <optional>
#include <string>
#include <vector>

#include "app/PairRuns.h"
#include "messaging/KeyCodeAndFlags.h"
#include "messaging/Notification.h"
#include "messaging/ShortcutList.h"
#include "messaging/Value.h"
#include "platform/Platform.h"

namespace kivora {

class AppDelegate {
public:
    // init: every field at its initial value.
    explicit AppDelegate(const Platform& platform);
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Fields, in declaration order. Touched only on the run loop's thread.
    Array system;
    Array current;
    // Pairs of the most recent runs, oldest first, within kMaxKeptPairs each.
    std::vector<KeyCodeAndFlags> keyCodeAndFlagsArr;         // system pairs
    std::vector<KeyCodeAndFlags> currentKeyCodeAndFlagsArr;  // menu pairs
    std::vector<std::string> currentShortTitle;              // titles of the last harvest
    std::vector<AXUIElementRef> currentElementArr;           // their elements, index-aligned
    RunningApplicationRef previousActiveApplication;         // the target application
    TimerRef timer;                                          // permission polling
    bool isPopupShown = false;

    // Operations the platform calls.
    void handleAccessibilityEnabled(const Notification& notification);
    void checkAccessibilityPermissions();
    void handleNotification(const Notification& notification);
    void handleCurrentShortcut(const Notification& notification);
    void handleCurrentShortcutClicked(const Notification& notification);
    void handleSystemShortcutClicked(const Notification& notification);
    void handleMainAppTermination(const Notification& notification);
    void observeValueForKeyPath(const std::optional<std::string>& keyPath);
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    bool applicationSupportsSecureRestorableState() const { return true; }

    // Harvests; each returns its list and updates the fields.
    ShortcutList getCurrentShortcuts();
    ShortcutList getSystemShortcuts();

private:
    // The prompting trust check: asks, logs "accessEnabled: true|false", returns the answer.
    bool checkTrustWithPrompt();

    Platform platform_;
    PairRuns systemPairRuns_;   // the runs in keyCodeAndFlagsArr
    PairRuns currentPairRuns_;  // the runs in currentKeyCodeAndFlagsArr
};

}  // namespace kivora
