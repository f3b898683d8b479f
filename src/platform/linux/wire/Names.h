#pragma once
// Every name on the bus in one place: the helper's bus name, the notification signal and the
// simulated desktop's control object. The helper's identity itself is spelled once, in the
// core's vocabulary.

#include <string>

#include "messaging/NotificationNames.h"

namespace kivora::linux_::wire {

// The helper owns its identifier as its bus name.
inline const std::string& helperBusName() {
    return names::helperIdentifier();
}

// Notifications: a broadcast signal `Post` on this path and interface.
inline constexpr const char* kPath = "/org/morvane/DistributedNotificationCenter";
inline constexpr const char* kInterface = "org.morvane.DistributedNotificationCenter";
inline constexpr const char* kMember = "Post";

// The simulated desktop's control object, served by a helper that runs on one.
inline constexpr const char* kDesktopPath = "/org/morvane/Kivora/KivoraData/Desktop";
inline constexpr const char* kDesktopInterface = "org.morvane.Kivora.SimulatedDesktop";

// The bus daemon itself.
inline constexpr const char* kDaemonName = "org.freedesktop.DBus";
inline constexpr const char* kDaemonPath = "/org/freedesktop/DBus";
inline constexpr const char* kDaemonInterface = "org.freedesktop.DBus";

}  // namespace kivora::linux_::wire
