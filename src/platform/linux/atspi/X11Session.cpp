#include "platform/linux/atspi/X11Session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <vector>

#include "platform/linux/Diagnostics.h"

namespace kivora::linux_::atspi {
namespace {

// Xlib reports protocol errors (a window that vanished between two requests) through a
// process-wide handler whose default exits; ours ignores them: each request checks its result.
int ignoreError(Display*, XErrorEvent*) {
    return 0;
}

// A lost display connection: Xlib calls this and would then exit the process. The exit
// handler below returns instead, and the session stops using the display.
bool gDisplayLost = false;
int onIOError(Display*) {
    if (!gDisplayLost) {
        writeDiagnostic("lost the connection to the X display");
    }
    gDisplayLost = true;
    return 0;
}
void onIOErrorExit(Display*, void*) {
    gDisplayLost = true;
}

std::vector<unsigned long> cardinals(Display* display, Window window, Atom property, Atom type) {
    std::vector<unsigned long> values;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actualType, &format,
                           &count, &remaining, &data) == Success &&
        data != nullptr) {
        if (actualType == type && format == 32) {
            const auto* longs = reinterpret_cast<const unsigned long*>(data);
            values.assign(longs, longs + count);
        }
        XFree(data);
    }
    return values;
}

}  // namespace

struct X11Session::Impl {
    Display* display = nullptr;
    Atom clientList = None;
    Atom wmPid = None;
    Atom activeWindow = None;
};

X11Session::X11Session(std::unique_ptr<Impl> impl, bool xtest)
    : impl_(std::move(impl)), xtest_(xtest) {}

X11Session::~X11Session() {
    if (impl_->display != nullptr && !gDisplayLost) {
        XCloseDisplay(impl_->display);
    }
}

std::unique_ptr<X11Session> X11Session::open(const char* display, std::string& error) {
    const char* name = display;
    if (name == nullptr) {
        name = std::getenv("DISPLAY");
    }
    if (name == nullptr || *name == '\0') {
        error = "no X display ($DISPLAY is not set)";
        return nullptr;
    }
    XSetErrorHandler(&ignoreError);
    XSetIOErrorHandler(&onIOError);
    auto impl = std::make_unique<Impl>();
    impl->display = XOpenDisplay(name);
    if (impl->display == nullptr) {
        error = std::string("cannot open the X display ") + name;
        return nullptr;
    }
    gDisplayLost = false;
    XSetIOErrorExitHandler(impl->display, &onIOErrorExit, nullptr);
    impl->clientList = XInternAtom(impl->display, "_NET_CLIENT_LIST", False);
    impl->wmPid = XInternAtom(impl->display, "_NET_WM_PID", False);
    impl->activeWindow = XInternAtom(impl->display, "_NET_ACTIVE_WINDOW", False);
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    const bool xtest =
        XTestQueryExtension(impl->display, &eventBase, &errorBase, &major, &minor) != 0;
    if (!xtest) {
        writeDiagnostic(std::string("the X display ") + name +
                        " has no XTest extension: keys cannot be typed");
    }
    return std::unique_ptr<X11Session>(new X11Session(std::move(impl), xtest));
}

bool X11Session::alive() const {
    return !gDisplayLost;
}

bool X11Session::activateProcess(std::int32_t pid) {
    if (!alive() || pid <= 0) {
        return false;
    }
    Display* d = impl_->display;
    const Window root = DefaultRootWindow(d);
    Window target = None;
    for (unsigned long window : cardinals(d, root, impl_->clientList, XA_WINDOW)) {
        auto pids = cardinals(d, window, impl_->wmPid, XA_CARDINAL);
        if (!pids.empty() && static_cast<std::int32_t>(pids.front()) == pid) {
            target = window;
            break;
        }
    }
    if (target == None || !alive()) {
        return false;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.serial = 0;
    event.xclient.send_event = True;
    event.xclient.display = d;
    event.xclient.window = target;
    event.xclient.message_type = impl_->activeWindow;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // source: a pager, which window managers obey at once
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = 0;
    const Status sent =
        XSendEvent(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(d);
    return sent != 0 && alive();
}

unsigned X11Session::keycodeForKeysym(Keysym keysym) {
    if (!alive()) {
        return 0;
    }
    return XKeysymToKeycode(impl_->display, keysym);
}

bool X11Session::fakeKey(unsigned keycode, bool down) {
    if (!alive() || !xtest_ || keycode == 0) {
        return false;
    }
    return XTestFakeKeyEvent(impl_->display, keycode, down ? True : False, CurrentTime) != 0 &&
           alive();
}

void X11Session::sync() {
    if (alive()) {
        XSync(impl_->display, False);
    }
}

}  // namespace kivora::linux_::atspi
