#pragma once
// The whole vocabulary between the helper and the main application. Each constant is created
// once, on first use, and shared by every use.

#include <string>

namespace kivora::names {

// Identity strings.
const std::string& mainApplicationIdentifier();  // "org.morvane.Kivora"
const std::string& helperIdentifier();           // "org.morvane.Kivora.KivoraData"

// Requests, main application to helper.
const std::string& accessibilityStatus();   // "AccessibilityStatus"
const std::string& getSystemShortcut();     // "GetSystemShortcut"
const std::string& getCurrentShortcut();    // "GetCurrentShortcut"
const std::string& currentClickedPrefix();  // "tellHelperToCurrentClickted:"
const std::string& systemClickedPrefix();   // "tellHelperToSystemClickted:"
const std::string& terminateSubApp();       // "TerminateSubApp"

// Replies, helper to main application.
const std::string& accessibilityStatusResponse();  // "AccessibilityStatusResponse"
const std::string& getSystemShortcutResponse();    // "getSystemShortcutResponse"
const std::string& getKeyCodeAndFlagsArr();        // "GetKeyCodeAndFlagsArr"
const std::string& getCurrentShortcutResponse();   // "GetCurrentShortcutResponse"

// User-info keys.
const std::string& isEnabledKey();                      // "isEnabled"
const std::string& systemShortcutKey();                 // "systemShortcut"
const std::string& currentShortcutKey();                // "currentShortcut"
const std::string& keyCodeAndFlagsArrDataKey();         // "keyCodeAndFlagsArrData"
const std::string& currentKeyCodeAndFlagsArrDataKey();  // "currentKeyCodeAndFlagsArrData"
const std::string& keyCodeKey();                        // "keyCode"
const std::string& flagsKey();                          // "flags"

}  // namespace kivora::names
