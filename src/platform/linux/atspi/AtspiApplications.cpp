#include "platform/linux/atspi/AtspiApplications.h"

namespace kivora::linux_::atspi {

std::vector<std::string> AtspiApplications::list() {
    std::vector<std::string> names;
    CallResult result = bus_.call(kRegistryName, kRootPath, kAccessibleInterface, "GetChildren");
    if (!result.ok() || sd_bus_message_enter_container(result.reply.get(), 'a', "(so)") < 0) {
        return names;
    }
    const char* name = nullptr;
    const char* path = nullptr;
    while (sd_bus_message_read(result.reply.get(), "(so)", &name, &path) > 0) {
        if (name != nullptr && *name != '\0') {
            names.emplace_back(name);
        }
    }
    return names;
}

std::optional<std::int32_t> AtspiApplications::processOf(const std::string& busName) {
    if (auto it = known_.find(busName); it != known_.end()) {
        return it->second.info.processIdentifier;
    }
    CallResult pid = bus_.call(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "GetConnectionUnixProcessID",
        [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", busName.c_str()); });
    std::uint32_t processIdentifier = 0;
    if (!pid.ok() || sd_bus_message_read(pid.reply.get(), "u", &processIdentifier) < 0 ||
        processIdentifier == 0) {
        return std::nullopt;
    }
    Known& known = known_[busName];
    known.info.busName = busName;
    known.info.processIdentifier = static_cast<std::int32_t>(processIdentifier);
    return known.info.processIdentifier;
}

std::optional<ApplicationInfo> AtspiApplications::info(const std::string& busName) {
    if (!processOf(busName)) {
        return std::nullopt;
    }
    Known& known = known_[busName];
    if (!known.nameRead) {
        CallResult name = bus_.getProperty(busName, kRootPath, kAccessibleInterface, "Name");
        const char* text = nullptr;
        if (name.ok() && sd_bus_message_read(name.reply.get(), "v", "s", &text) >= 0) {
            known.info.name = text != nullptr ? text : "";
            known.nameRead = true;
        }
        known.info.bundleIdentifier = bundleIdentifierForName(entries_, known.info.name);
    }
    return known.info;
}

std::optional<std::string> AtspiApplications::busNameForProcess(std::int32_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    for (const auto& [busName, known] : known_) {
        if (known.info.processIdentifier == pid) {
            return busName;
        }
    }
    for (const auto& busName : list()) {
        if (known_.count(busName) == 0 && processOf(busName) == pid) {
            return busName;
        }
    }
    return std::nullopt;
}

}  // namespace kivora::linux_::atspi
