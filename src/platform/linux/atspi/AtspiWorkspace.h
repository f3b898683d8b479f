#pragma once
// The workspace over AT-SPI window events: the frontmost application is the one whose window
// was activated last; applications are the accessibility bus's registered applications.

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include "platform/Workspace.h"
#include "platform/linux/atspi/ActiveWindowProbe.h"
#include "platform/linux/atspi/AtspiApplications.h"
#include "platform/linux/atspi/AtspiBus.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_::atspi {

class X11Session;

class AtspiRunningApplication : public RunningApplication {
public:
    AtspiRunningApplication(ApplicationInfo info, X11Session* x11)
        : info_(std::move(info)), x11_(x11) {}

    std::optional<std::string> bundleIdentifier() const override { return info_.bundleIdentifier; }
    std::int32_t processIdentifier() const override { return info_.processIdentifier; }
    // Asks the window manager to activate the application's window (EWMH _NET_ACTIVE_WINDOW).
    // False without an X display, for an application without a window, or one that quit.
    bool activateWithOptions(std::uint32_t options) override;

    void markTerminated() { terminated_ = true; }

private:
    ApplicationInfo info_;
    X11Session* x11_;
    bool terminated_ = false;
};

class AtspiWorkspace : public Workspace {
public:
    AtspiWorkspace(AtspiBus& bus, AtspiApplications& applications, X11Session* x11);
    // Deregisters the window events.
    ~AtspiWorkspace() override;

    // Subscribes to window activation and to applications joining and leaving the bus,
    // registers the window events with the registry, and finds the application in front now.
    // Negative errno when the subscriptions cannot be made.
    int start(sd_event* event);

    // Takes in what the accessibility bus has delivered so far and reports a change of the
    // frontmost application now, so that a request that follows a switch sees it.
    void catchUp();

    RunningApplicationRef frontmostApplication() override { return frontmost_; }
    void addObserver(std::string_view keyPath, KeyPathObserver observer) override;
    void removeObserver(std::string_view keyPath) override;

    // The running application of a connection on the accessibility bus, or null when the
    // connection has gone. One object per process, whatever number of connections it has.
    std::shared_ptr<AtspiRunningApplication> application(const std::string& busName);

private:
    static int onWindowEvent(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onNameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onDeliver(sd_event_source* source, void* userdata);
    static int onRegistered(sd_bus_message* message, void* userdata, sd_bus_error* error);
    // An application whose window was active when it registered: activated then, unless
    // another one has been activated since.
    void activeAtRegistration(const std::string& busName, std::uint64_t stamp);
    void activated(std::int32_t pid);

    void setFrontmost(std::shared_ptr<AtspiRunningApplication> application);
    // The frontmost application from the applications with an active window.
    void updateFrontmost();
    void findInitialFrontmost();
    void registerEvents(const char* member);

    AtspiBus& bus_;
    AtspiApplications& applications_;
    X11Session* x11_;
    std::map<std::string, std::int32_t> connections_;  // bus name to process
    std::map<std::int32_t, std::shared_ptr<AtspiRunningApplication>> running_;
    std::shared_ptr<AtspiRunningApplication> frontmost_;
    // Applications with an active window, the one activated last at the end. Toolkits report
    // activation and deactivation out of order across applications (Qt announces an
    // "Activate" as its window loses focus, just before its "Deactivate"), so the frontmost
    // application is the last one activated that has not been deactivated since.
    std::vector<std::int32_t> active_;
    KeyPathObserver observer_;
    SlotPtr windowSlot_;
    SlotPtr nameOwnerSlot_;
    SlotPtr registrySlot_;
    ActiveWindowProbe probe_;
    std::uint64_t activations_ = 0;  // window activations seen, to order the probes' answers
    // Applications registered lately with no activation seen since: a window the window manager
    // activated while the application was still starting up is announced by nobody, so the
    // catch-up before a request asks them again.
    struct Registration {
        std::string busName;
        std::uint64_t stamp;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<Registration> recent_;
    void probeRecentRegistrations();
    bool deliveryPending_ = false;
    EventSourcePtr deliverSource_;
    bool registered_ = false;
};

}  // namespace kivora::linux_::atspi
