#pragma once
// The X display of the session: window activation through the window manager (EWMH) and
// synthetic keys through the XTest extension.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/linux/atspi/KeyCodes.h"

namespace kivora::linux_::atspi {

class X11Session {
public:
    // Opens $DISPLAY (or `display` when given). Null with `error` set when there is no display.
    static std::unique_ptr<X11Session> open(const char* display, std::string& error);
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    // False once the connection to the display is lost; everything then fails quietly.
    bool alive() const;
    bool hasXTest() const { return xtest_; }

    // Sends _NET_ACTIVE_WINDOW for a top-level window of process `pid` (by _NET_WM_PID among
    // the window manager's _NET_CLIENT_LIST). False when the process has no such window.
    bool activateProcess(std::int32_t pid);

    // The key of the live layout that yields `keysym` (0 for none).
    unsigned keycodeForKeysym(Keysym keysym);
    // Presses or releases one key through XTest; false when it could not be sent.
    bool fakeKey(unsigned keycode, bool down);
    // Sends what is queued and waits until the server has handled it.
    void sync();

    struct Impl;

private:
    explicit X11Session(std::unique_ptr<Impl> impl, bool xtest);
    std::unique_ptr<Impl> impl_;
    bool xtest_;
};

}  // namespace kivora::linux_::atspi
