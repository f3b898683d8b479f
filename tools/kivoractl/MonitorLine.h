#pragma once
// One notification seen on the bus, as `kivoractl monitor` prints it.

#include <string>

#include "messaging/Notification.h"

namespace kivoractl {

// "TIME SENDER NAME [object=OBJECT] {key=summary, ...}": strings shortened, containers as
// their size, so that one notification stays on one line.
std::string monitorLine(const std::string& time, const std::string& sender,
                        const kivora::Notification& notification);

// The whole notification, for --json.
kivora::Value monitorRecord(const std::string& time, const std::string& sender,
                            const kivora::Notification& notification);

}  // namespace kivoractl
