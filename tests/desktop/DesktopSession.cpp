#include "DesktopSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/wire/SdHandles.h"

namespace kivora::desktop {
namespace {

using namespace std::chrono_literals;
using e2e::ChildProcess;
using e2e::Clock;
using e2e::ProcessSpec;

constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr const char* kOpenbox = "/usr/bin/openbox";
constexpr const char* kLauncher = "/usr/libexec/at-spi-bus-launcher";
constexpr auto kStartTimeout = 20s;
constexpr auto kPoll = 50ms;

template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

std::vector<unsigned long> windowProperty(Display* d, Window w, const char* name, Atom type) {
    std::vector<unsigned long> values;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 4096, False, type, &actual,
                           &format, &count, &left, &data) == Success &&
        data != nullptr) {
        if (format == 32) {
            auto* longs = reinterpret_cast<unsigned long*>(data);
            values.assign(longs, longs + count);
        }
        XFree(data);
    }
    return values;
}

int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

linux_::BusConnection connectTo(const std::string& address) {
    sd_bus* raw = nullptr;
    if (sd_bus_new(&raw) < 0) {
        return {};
    }
    linux_::BusConnection bus(raw);
    if (sd_bus_set_address(raw, address.c_str()) < 0 || sd_bus_set_bus_client(raw, 1) < 0 ||
        sd_bus_start(raw) < 0) {
        return {};
    }
    return bus;
}

// The process that owns `name` on `bus`, or 0 when nobody does. Never starts a service.
pid_t ownerOf(sd_bus* bus, const char* name) {
    sd_bus_message* reply = nullptr;
    linux_::BusError error;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetConnectionUnixProcessID", error.get(),
                           &reply, "s", name) < 0) {
        return 0;
    }
    linux_::MessagePtr owned(reply);
    std::uint32_t pid = 0;
    return sd_bus_message_read(reply, "u", &pid) >= 0 ? static_cast<pid_t>(pid) : 0;
}

std::string a11yAddress(sd_bus* session) {
    sd_bus_message* reply = nullptr;
    linux_::BusError error;
    if (sd_bus_call_method(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                           error.get(), &reply, "") < 0) {
        return {};
    }
    linux_::MessagePtr owned(reply);
    const char* address = nullptr;
    if (sd_bus_message_read(reply, "s", &address) < 0 || address == nullptr) {
        return {};
    }
    return address;
}

// Ends processes and whatever they started: a polite SIGTERM first (the accessibility bus
// launcher stops its own bus then), SIGKILL for anything left, always by pid.
void stopTree(const std::vector<pid_t>& roots) {
    std::vector<pid_t> all;
    for (pid_t root : roots) {
        if (root <= 0) {
            continue;
        }
        auto below = descendantsOf(root);
        all.insert(all.end(), below.begin(), below.end());
        all.push_back(root);
    }
    for (pid_t pid : all) {
        ::kill(pid, SIGCONT);
        ::kill(pid, SIGTERM);
    }
    waitUntil(
        [&] {
            return std::none_of(all.begin(), all.end(), [](pid_t pid) {
                if (::kill(pid, 0) != 0) {
                    return false;
                }
                // A zombie of somebody else's counts as gone.
                std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
                std::string line;
                std::getline(stat, line);
                const auto close = line.rfind(')');
                return close == std::string::npos || line.size() < close + 3 ||
                       line[close + 2] != 'Z';
            });
        },
        2s);
    for (pid_t pid : all) {
        ::kill(pid, SIGKILL);
    }
}

}  // namespace

std::vector<pid_t> descendantsOf(pid_t pid) {
    std::multimap<pid_t, pid_t> children;
    if (DIR* proc = ::opendir("/proc")) {
        while (dirent* entry = ::readdir(proc)) {
            const pid_t child = static_cast<pid_t>(std::atoi(entry->d_name));
            if (child <= 0) {
                continue;
            }
            std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
            std::string line;
            std::getline(stat, line);
            const auto close = line.rfind(')');
            if (close == std::string::npos) {
                continue;
            }
            std::istringstream rest(line.substr(close + 2));
            char state = 0;
            pid_t parent = 0;
            rest >> state >> parent;
            children.emplace(parent, child);
        }
        ::closedir(proc);
    }
    std::vector<pid_t> result;
    std::vector<pid_t> frontier{pid};
    while (!frontier.empty()) {
        std::vector<pid_t> next;
        for (pid_t p : frontier) {
            auto [begin, end] = children.equal_range(p);
            for (auto it = begin; it != end; ++it) {
                result.push_back(it->second);
                next.push_back(it->second);
            }
        }
        frontier = std::move(next);
    }
    return result;
}

struct DesktopSession::Impl {
    std::unique_ptr<ChildProcess> xvfb;
    std::unique_ptr<ChildProcess> openbox;
    std::unique_ptr<ChildProcess> launcher;
    Display* x = nullptr;
    unsigned long parking = 0;  // a window of the fixture's own, to take the focus
    linux_::BusConnection session;
    linux_::BusConnection a11y;
    std::vector<pid_t> applications;  // started through startApplication, for the teardown
    linux_::SlotPtr activations;
    // Applications with an active window as announced, the last activated at the end (Qt
    // announces an activation as it loses focus, then the deactivation).
    std::vector<std::string> active;

    static int onWindowEvent(sd_bus_message* message, void* userdata, sd_bus_error*) {
        auto* self = static_cast<Impl*>(userdata);
        const char* sender = sd_bus_message_get_sender(message);
        const std::string_view member = sd_bus_message_get_member(message);
        const std::string name = sender != nullptr ? sender : "";
        std::erase(self->active, name);
        if (member == "Activate") {
            self->active.push_back(name);
        }
        return 0;
    }
    // Handles what has arrived on the accessibility connection, waiting a little for more.
    void pump() {
        while (sd_bus_process(a11y.get(), nullptr) > 0) {
        }
        sd_bus_wait(a11y.get(), 50'000);
        while (sd_bus_process(a11y.get(), nullptr) > 0) {
        }
    }
    pid_t pidOf(const std::string& busName) {
        sd_bus_message* reply = nullptr;
        linux_::BusError error;
        if (sd_bus_call_method(a11y.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetConnectionUnixProcessID", error.get(),
                               &reply, "s", busName.c_str()) < 0) {
            return 0;
        }
        linux_::MessagePtr owned(reply);
        std::uint32_t pid = 0;
        return sd_bus_message_read(reply, "u", &pid) >= 0 ? static_cast<pid_t>(pid) : 0;
    }

    ~Impl() {
        if (x != nullptr) {
            XCloseDisplay(x);
        }
    }
};

DesktopSession::DesktopSession(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DesktopSession::~DesktopSession() {
    if (!impl_) {
        return;
    }
    // The display goes first: Xlib ends the process when a display it holds dies.
    if (impl_->x != nullptr) {
        XCloseDisplay(impl_->x);
        impl_->x = nullptr;
    }
    std::vector<pid_t> roots = impl_->applications;
    for (auto* child : {impl_->launcher.get(), impl_->openbox.get(), impl_->xvfb.get()}) {
        if (child != nullptr) {
            roots.push_back(child->pid());
        }
    }
    if (bus_) {
        roots.push_back(bus_->pid());  // services it started on demand go with it
    }
    stopTree(roots);
    impl_->a11y.reset();
    impl_->session.reset();
    impl_.reset();
}

std::map<std::string, std::optional<std::string>> DesktopSession::environment() const {
    return {
        {"HOME", home_},
        {"XDG_RUNTIME_DIR", dir_->file("run")},
        {"XDG_CACHE_HOME", dir_->file("cache")},
        {"XDG_CONFIG_HOME", dir_->file("config")},
        {"XDG_DATA_HOME", dir_->file("data")},
        {"DISPLAY", display_},
        {"DBUS_SESSION_BUS_ADDRESS", bus_->address()},
        {"WAYLAND_DISPLAY", std::nullopt},
        {"AT_SPI_BUS_ADDRESS", std::nullopt},
        {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"},
        {"QT_QPA_PLATFORM", "xcb"},
        {"QT_ACCESSIBILITY", "1"},
        {"NO_AT_BRIDGE", "0"},
        {"GTK_MODULES", std::nullopt},
        {"GSETTINGS_BACKEND", "memory"},
        {"GIO_USE_VFS", "local"},
        {"GTK_USE_PORTAL", "0"},
        {"LANG", "C.UTF-8"},
        {"LC_ALL", "C.UTF-8"},
    };
}

std::unique_ptr<DesktopSession> DesktopSession::start(std::string& whyNot) {
    for (const char* program : {kXvfb, kOpenbox, kLauncher, kPython}) {
        if (::access(program, X_OK) != 0) {
            whyNot = std::string(program) +
                     " is not installed (scripts/install-desktop-deps.sh installs the desktop "
                     "test packages)";
            return nullptr;
        }
    }
    auto impl = std::make_unique<Impl>();
    std::unique_ptr<DesktopSession> session(new DesktopSession(std::move(impl)));
    Impl& s = *session->impl_;
    try {
        session->dir_ = std::make_unique<e2e::TempDir>();
        session->home_ = session->dir_->file("home");
        for (const char* sub : {"home", "run", "cache", "config", "data/applications"}) {
            session->dir_->write(std::string(sub) + "/.keep", "");
        }
        ::chmod(session->dir_->file("run").c_str(), 0700);
        session->bus_ = std::make_unique<e2e::PrivateBus>();
        auto env = session->environment();
        env.erase("DISPLAY");

        // Xvfb on a display it picks itself (written to standard output), no TCP.
        s.xvfb = std::make_unique<ChildProcess>(ProcessSpec{
            kXvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"}, env});
        if (!waitUntil([&] { return !s.xvfb->stdoutLines().empty() || !s.xvfb->running(); },
                       kStartTimeout) ||
            s.xvfb->stdoutLines().empty()) {
            whyNot = "Xvfb did not start: " + s.xvfb->describe();
            return nullptr;
        }
        session->display_ = ":" + s.xvfb->stdoutLines().front();
        XSetErrorHandler(&ignoreXError);
        if (!waitUntil([&] { return (s.x = XOpenDisplay(session->display_.c_str())) != nullptr; },
                       kStartTimeout)) {
            whyNot = "cannot open the display " + session->display_;
            return nullptr;
        }
        env = session->environment();

        s.openbox = std::make_unique<ChildProcess>(ProcessSpec{kOpenbox, {"--sm-disable"}, env});
        const Atom activeWindow = XInternAtom(s.x, "_NET_ACTIVE_WINDOW", False);
        if (!waitUntil(
                [&] {
                    auto supported =
                        windowProperty(s.x, DefaultRootWindow(s.x), "_NET_SUPPORTED", XA_ATOM);
                    return std::find(supported.begin(), supported.end(), activeWindow) !=
                           supported.end();
                },
                kStartTimeout)) {
            whyNot = "openbox did not come up: " + s.openbox->describe();
            return nullptr;
        }

        s.parking = XCreateSimpleWindow(s.x, DefaultRootWindow(s.x), 0, 0, 64, 64, 0, 0, 0);
        XStoreName(s.x, s.parking, "parking");
        XMapWindow(s.x, s.parking);
        XSync(s.x, False);

        s.session = connectTo(session->bus_->address());
        s.launcher =
            std::make_unique<ChildProcess>(ProcessSpec{kLauncher, {"--launch-immediately"}, env});
        // Ready when our launcher owns its name (asking for the address any earlier would have
        // the bus start another launcher, without the display) and has published the address
        // on the display, where Qt looks for it.
        std::string address;
        if (!s.session || !waitUntil(
                              [&] {
                                  return ownerOf(s.session.get(), "org.a11y.Bus") ==
                                             s.launcher->pid() &&
                                         !session->rootText("AT_SPI_BUS").empty() &&
                                         !(address = a11yAddress(s.session.get())).empty();
                              },
                              kStartTimeout)) {
            whyNot = "the accessibility bus did not come up: " + s.launcher->describe();
            return nullptr;
        }
        if (!waitUntil([&] { return static_cast<bool>(s.a11y = connectTo(address)); },
                       kStartTimeout)) {
            whyNot = "cannot connect to the accessibility bus " + address;
            return nullptr;
        }
        sd_bus_slot* slot = nullptr;
        if (sd_bus_match_signal(s.a11y.get(), &slot, nullptr, nullptr,
                                "org.a11y.atspi.Event.Window", nullptr, &Impl::onWindowEvent,
                                &s) < 0) {
            whyNot = "cannot watch window activation on the accessibility bus";
            return nullptr;
        }
        s.activations.reset(slot);
    } catch (const std::exception& e) {
        whyNot = e.what();
        return nullptr;
    }
    return session;
}

bool DesktopSession::registered(pid_t pid) {
    sd_bus* a11y = impl_->a11y.get();
    sd_bus_message* reply = nullptr;
    linux_::BusError error;
    if (sd_bus_call_method(a11y, "org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root",
                           "org.a11y.atspi.Accessible", "GetChildren", error.get(), &reply,
                           "") < 0) {
        return false;
    }
    linux_::MessagePtr owned(reply);
    if (sd_bus_message_enter_container(reply, 'a', "(so)") < 0) {
        return false;
    }
    const char* name = nullptr;
    const char* path = nullptr;
    while (sd_bus_message_read(reply, "(so)", &name, &path) > 0) {
        sd_bus_message* pidReply = nullptr;
        linux_::BusError pidError;
        if (sd_bus_call_method(a11y, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetConnectionUnixProcessID", pidError.get(),
                               &pidReply, "s", name) < 0) {
            continue;
        }
        linux_::MessagePtr ownedPid(pidReply);
        std::uint32_t owner = 0;
        if (sd_bus_message_read(pidReply, "u", &owner) >= 0 && static_cast<pid_t>(owner) == pid) {
            return true;
        }
    }
    return false;
}

unsigned long DesktopSession::windowOf(pid_t pid) {
    Display* d = impl_->x;
    for (unsigned long w : windowProperty(d, DefaultRootWindow(d), "_NET_CLIENT_LIST", XA_WINDOW)) {
        auto pids = windowProperty(d, w, "_NET_WM_PID", XA_CARDINAL);
        if (!pids.empty() && static_cast<pid_t>(pids.front()) == pid) {
            return w;
        }
    }
    return 0;
}

std::string DesktopSession::rootText(const char* property) {
    Display* d = impl_->x;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, property, False), 0, 1024, False,
                           AnyPropertyType, &actual, &format, &count, &left, &data) == Success &&
        data != nullptr) {
        if (format == 8) {
            text.assign(reinterpret_cast<char*>(data), count);
        }
        XFree(data);
    }
    return text;
}

unsigned long DesktopSession::activeWindow() {
    auto active =
        windowProperty(impl_->x, DefaultRootWindow(impl_->x), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    return active.empty() ? 0 : active.front();
}

bool DesktopSession::activate(pid_t pid, bool announced) {
    const unsigned long window = windowOf(pid);
    if (window == 0 || !activateWindow(window)) {
        return false;
    }
    auto announcedNow = [&] {
        impl_->pump();
        return !impl_->active.empty() && impl_->pidOf(impl_->active.back()) == pid;
    };
    if (!announced || waitUntil(announcedNow, 2s)) {
        return true;
    }
    // A window that had the focus before its application knew that anybody listens was never
    // announced: move the focus away to a window of ours and back.
    return activateWindow(impl_->parking) && activateWindow(window) &&
           waitUntil(announcedNow, e2e::kDefaultTimeout);
}

bool DesktopSession::activateWindow(unsigned long window) {
    Display* d = impl_->x;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.send_event = True;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // from a pager: obeyed without focus-stealing checks
    event.xclient.data.l[1] = CurrentTime;
    // Asked again now and then: a window manager may drop a request for a window that it is
    // still busy setting up.
    const auto deadline = Clock::now() + e2e::kDefaultTimeout;
    while (Clock::now() < deadline) {
        XSendEvent(d, DefaultRootWindow(d), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XFlush(d);
        if (waitUntil([&] { return activeWindow() == window; }, 1s)) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<ChildProcess> DesktopSession::startApplication(const std::string& path,
                                                               const std::vector<std::string>& args,
                                                               std::string& whyNot) {
    std::unique_ptr<ChildProcess> app;
    try {
        app = std::make_unique<ChildProcess>(ProcessSpec{path, args, environment()});
    } catch (const std::exception& e) {
        whyNot = e.what();
        return nullptr;
    }
    impl_->applications.push_back(app->pid());
    const pid_t pid = app->pid();
    if (!waitUntil([&] { return !app->running() || (windowOf(pid) != 0 && registered(pid)); },
                   kStartTimeout) ||
        !app->running()) {
        whyNot = path + " did not come up on the desktop (window " + std::to_string(windowOf(pid)) +
                 ", registered " + std::to_string(registered(pid)) + ", AT_SPI_BUS " +
                 rootText("AT_SPI_BUS") + "): " + app->describe();
        return nullptr;
    }
    return app;
}

std::unique_ptr<ChildProcess> DesktopSession::startTestApplication(
    const std::string& script, const std::vector<std::string>& more, std::string& whyNot) {
    std::vector<std::string> args{std::string(KIVORA_SOURCE_DIR) + "/tests/desktop/apps/" + script};
    args.insert(args.end(), more.begin(), more.end());
    auto app = startApplication(kPython, args, whyNot);
    if (app && !app->waitForLine("ready")) {
        whyNot = script + " never said it was ready: " + app->describe();
        return nullptr;
    }
    return app;
}

}  // namespace kivora::desktop
