#include "messaging/NotificationNames.h"

// Function-local statics: initialised once, thread-safely, on first use.
#define KIVORA_NAME(fn, text)             \
    const std::string& fn() {             \
        static const std::string s{text}; \
        return s;                         \
    }

namespace kivora::names {

KIVORA_NAME(mainApplicationIdentifier, "org.morvane.Kivora")
KIVORA_NAME(helperIdentifier, "org.morvane.Kivora.KivoraData")
KIVORA_NAME(accessibilityStatus, "AccessibilityStatus")
KIVORA_NAME(getSystemShortcut, "GetSystemShortcut")
KIVORA_NAME(getCurrentShortcut, "GetCurrentShortcut")
KIVORA_NAME(currentClickedPrefix, "tellHelperToCurrentClickted:")
KIVORA_NAME(systemClickedPrefix, "tellHelperToSystemClickted:")
KIVORA_NAME(terminateSubApp, "TerminateSubApp")
KIVORA_NAME(accessibilityStatusResponse, "AccessibilityStatusResponse")
KIVORA_NAME(getSystemShortcutResponse, "getSystemShortcutResponse")
KIVORA_NAME(getKeyCodeAndFlagsArr, "GetKeyCodeAndFlagsArr")
KIVORA_NAME(getCurrentShortcutResponse, "GetCurrentShortcutResponse")
KIVORA_NAME(isEnabledKey, "isEnabled")
KIVORA_NAME(systemShortcutKey, "systemShortcut")
KIVORA_NAME(currentShortcutKey, "currentShortcut")
KIVORA_NAME(keyCodeAndFlagsArrDataKey, "keyCodeAndFlagsArrData")
KIVORA_NAME(currentKeyCodeAndFlagsArrDataKey, "currentKeyCodeAndFlagsArrData")
KIVORA_NAME(keyCodeKey, "keyCode")
KIVORA_NAME(flagsKey, "flags")

}  // namespace kivora::names
