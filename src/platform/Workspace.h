#pragma once
// Port: the workspace (running applications, the frontmost one and its observation).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kivora {

class RunningApplication {
public:
    virtual ~RunningApplication() = default;

    // The application's bundle identifier; none for an application that has none.
    virtual std::optional<std::string> bundleIdentifier() const = 0;
    // The process identifier (stays valid as a number after the application quit).
    virtual std::int32_t processIdentifier() const = 0;
    // Brings the application to the front; 2 = activate ignoring other applications. Returns
    // false when the application cannot be activated (for instance because it quit). The
    // resulting frontmost change is observed after the current callback returns.
    virtual bool activateWithOptions(std::uint32_t options) = 0;
};

using RunningApplicationRef = std::shared_ptr<RunningApplication>;

class Workspace {
public:
    using KeyPathObserver = std::function<void(const std::optional<std::string>& keyPath)>;

    virtual ~Workspace() = default;

    // The application in front now, or null when there is none.
    virtual RunningApplicationRef frontmostApplication() = 0;

    // Key-value observation of the workspace: `observer` is called with the key path each time
    // the observed property changes, from the run loop, never inside another callback. Only
    // "frontmostApplication" is observable. One observer per key path.
    virtual void addObserver(std::string_view keyPath, KeyPathObserver observer) = 0;
    // Ends the observation of `keyPath`; a change already queued is not delivered.
    virtual void removeObserver(std::string_view keyPath) = 0;
};

}  // namespace kivora
