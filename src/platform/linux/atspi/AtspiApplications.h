#pragma once
// The applications on the accessibility bus: their bus names (the registry root's children),
// process identifiers, accessible names and bundle identifiers, remembered per bus name.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/atspi/AtspiBus.h"
#include "platform/linux/atspi/DesktopEntries.h"

namespace kivora::linux_::atspi {

struct ApplicationInfo {
    std::string busName;
    std::int32_t processIdentifier = 0;
    std::string name;                             // the accessible application name
    std::optional<std::string> bundleIdentifier;  // see bundleIdentifierForName
};

class AtspiApplications {
public:
    AtspiApplications(AtspiBus& bus, DesktopEntries& entries) : bus_(bus), entries_(entries) {}

    // Bus names of the registered applications, as the registry lists them now.
    std::vector<std::string> list();
    // What is known of the application on `busName`, asking the bus the first time. None when
    // the connection has no process identifier (it is gone).
    std::optional<ApplicationInfo> info(const std::string& busName);
    // The bus name of the application of process `pid`, listing the registry again when the
    // process is not known yet.
    std::optional<std::string> busNameForProcess(std::int32_t pid);
    // The connection left the bus.
    void forget(const std::string& busName) { known_.erase(busName); }

private:
    AtspiBus& bus_;
    DesktopEntries& entries_;
    struct Known {
        ApplicationInfo info;
        bool nameRead = false;  // a name read while the application was busy is retried
    };
    // The process identifier of a connection (cached; asks the bus daemon, never the
    // application, so a hung application does not block it).
    std::optional<std::int32_t> processOf(const std::string& busName);

    std::map<std::string, Known> known_;
};

}  // namespace kivora::linux_::atspi
