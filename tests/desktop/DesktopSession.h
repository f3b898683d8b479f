#pragma once
// A real desktop session of our own for the desktop tests: temporary HOME and XDG folders, a
// private session bus, Xvfb on a free display, openbox, and the accessibility bus. Everything
// is started with bounded waits and killed by pid (with the processes it spawned) at the end.

#include <sys/types.h>
#include <systemd/sd-bus.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/support/E2e.h"

namespace kivora::desktop {

inline constexpr const char* kPython = "/usr/bin/python3";
inline constexpr const char* kMousepad = "/usr/bin/mousepad";

class DesktopSession {
public:
    // Starts the session. Null with `whyNot` set when a program it needs is not installed or a
    // part does not come up in time.
    static std::unique_ptr<DesktopSession> start(std::string& whyNot);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    const e2e::PrivateBus& bus() const { return *bus_; }
    const std::string& display() const { return display_; }
    const std::string& home() const { return home_; }
    // The environment of a program in this session (set on top of the inherited one).
    std::map<std::string, std::optional<std::string>> environment() const;

    // Starts an application and waits until its window is mapped and it is registered on the
    // accessibility bus. Null (with a failure message in `whyNot`) when it does not come up.
    std::unique_ptr<e2e::ChildProcess> startApplication(const std::string& path,
                                                        const std::vector<std::string>& args,
                                                        std::string& whyNot);
    // The test application (tests/desktop/apps/menu_app.py) in `toolkit` ("gtk" or "qt"),
    // with more arguments ("--name NAME" for its application name, "--tag TAG" for a last
    // menu titled TAG), once it has said that it is ready.
    std::unique_ptr<e2e::ChildProcess> startTestApplication(const std::string& toolkit,
                                                            const std::vector<std::string>& args,
                                                            std::string& whyNot);

    // The bus name of the application of process `pid` that the registry lists, or "".
    std::string registeredName(pid_t pid);
    bool registered(pid_t pid) { return !registeredName(pid).empty(); }
    // A connection to the accessibility bus.
    sd_bus* a11yBus();
    // Asks the window manager to activate the window of `pid` and waits until it is active;
    // with `announced`, also until the application has announced it on the accessibility bus
    // (which it does once somebody, such as the helper, listens for window activation).
    bool activate(pid_t pid, bool announced = false);
    // Gives the focus to a window of the fixture's own, one without accessibility.
    bool park() { return activateWindow(parkingWindow()); }
    // A text property of the root window ("" when unset).
    std::string rootText(const char* property);
    // The window that the window manager has made active, or 0.
    unsigned long activeWindow();
    // The window of `pid` that the window manager manages, or 0.
    unsigned long windowOf(pid_t pid);

    struct Impl;

private:
    unsigned long parkingWindow() const;
    // Asks the window manager to activate `window` until it is active (bounded).
    bool activateWindow(unsigned long window);

    explicit DesktopSession(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<e2e::TempDir> dir_;
    std::unique_ptr<e2e::PrivateBus> bus_;
    std::string display_;
    std::string home_;
};

}  // namespace kivora::desktop
