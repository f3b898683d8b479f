#include "DesktopSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "platform/linux/wire/BusClient.h"

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

template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// A property of `w`: its 32-bit items, or its bytes when it is text.
struct Property {
    std::vector<unsigned long> items;
    std::string text;
};
Property windowProperty(Display* d, Window w, const char* name, Atom type) {
    Property property;
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
            property.items.assign(longs, longs + count);
        } else if (format == 8) {
            property.text.assign(reinterpret_cast<char*>(data), count);
        }
        XFree(data);
    }
    return property;
}

int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

// The state letter and parent of a process from /proc, or none when it is gone.
std::optional<std::pair<char, pid_t>> processStat(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos || line.size() < close + 4) {
        return std::nullopt;
    }
    return std::pair{line[close + 2], static_cast<pid_t>(std::atoi(line.c_str() + close + 4))};
}

// `all` with every descendant of its processes (from /proc).
std::vector<pid_t> withDescendants(std::vector<pid_t> all) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return all;
    }
    std::vector<std::pair<pid_t, pid_t>> parents;
    while (dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (auto stat = pid > 0 ? processStat(pid) : std::nullopt) {
            parents.emplace_back(pid, stat->second);
        }
    }
    ::closedir(proc);
    for (std::size_t i = 0; i < all.size(); ++i) {
        for (const auto& [pid, parent] : parents) {
            if (parent == all[i] && std::find(all.begin(), all.end(), pid) == all.end()) {
                all.push_back(pid);
            }
        }
    }
    return all;
}

// Ends processes and whatever they started, by pid: SIGTERM first (the accessibility bus
// launcher stops its own bus then), SIGKILL for anything left after a while.
void stopTree(const std::vector<pid_t>& roots) {
    const auto all = withDescendants(roots);
    for (pid_t pid : all) {
        ::kill(pid, SIGCONT);
        ::kill(pid, SIGTERM);
    }
    waitUntil(
        [&] {
            return std::none_of(all.begin(), all.end(), [](pid_t pid) {
                auto stat = processStat(pid);
                return stat && stat->first != 'Z';  // a zombie of somebody else's is gone
            });
        },
        2s);
    for (pid_t pid : all) {
        ::kill(pid, SIGKILL);
    }
}

}  // namespace

struct DesktopSession::Impl {
    std::unique_ptr<ChildProcess> xvfb, openbox, launcher;
    Display* x = nullptr;
    Window root = 0;
    Window parking = 0;  // a window of the fixture's own, to take the focus
    std::unique_ptr<linux_::wire::BusClient> session, a11y;
    std::vector<pid_t> applications;  // started through startApplication, for the teardown
    linux_::SlotPtr activations;
    // Applications with an active window as announced, the last activated at the end (Qt
    // announces an activation as it loses focus, then the deactivation).
    std::vector<std::string> active;

    static int onWindowEvent(sd_bus_message* message, void* userdata, sd_bus_error*) {
        auto* self = static_cast<Impl*>(userdata);
        const char* sender = sd_bus_message_get_sender(message);
        const std::string name = sender != nullptr ? sender : "";
        std::erase(self->active, name);
        if (std::string_view(sd_bus_message_get_member(message)) == "Activate") {
            self->active.push_back(name);
        }
        return 0;
    }
    // Handles what has arrived on the accessibility connection, waiting a little for more.
    void pump() {
        while (sd_bus_process(a11y->bus(), nullptr) > 0) {
        }
        sd_bus_wait(a11y->bus(), 50'000);
        while (sd_bus_process(a11y->bus(), nullptr) > 0) {
        }
    }
    std::string a11yAddress() {
        sd_bus_message* reply = nullptr;
        linux_::BusError error;
        const char* address = nullptr;
        if (sd_bus_call_method(session->bus(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                               "GetAddress", error.get(), &reply, "") < 0) {
            return {};
        }
        linux_::MessagePtr owned(reply);
        return sd_bus_message_read(reply, "s", &address) >= 0 && address ? address : "";
    }
    bool up(std::string& whyNot, DesktopSession& outer);
};

DesktopSession::DesktopSession(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DesktopSession::~DesktopSession() {
    // The display goes first: Xlib ends the process when a display it holds dies.
    if (impl_->x != nullptr) {
        XCloseDisplay(impl_->x);
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
    std::unique_ptr<DesktopSession> session(new DesktopSession(std::make_unique<Impl>()));
    try {
        session->dir_ = std::make_unique<e2e::TempDir>();
        session->home_ = session->dir_->file("home");
        for (const char* sub : {"home", "run", "cache", "config", "data/applications"}) {
            session->dir_->write(std::string(sub) + "/.keep", "");
        }
        ::chmod(session->dir_->file("run").c_str(), 0700);
        session->bus_ = std::make_unique<e2e::PrivateBus>();
        if (!session->impl_->up(whyNot, *session)) {
            return nullptr;
        }
    } catch (const std::exception& e) {
        whyNot = e.what();
        return nullptr;
    }
    return session;
}

// Xvfb, openbox, a parking window and the accessibility bus, each waited for in turn.
bool DesktopSession::Impl::up(std::string& whyNot, DesktopSession& outer) {
    auto env = outer.environment();
    env.erase("DISPLAY");
    // Xvfb on a display it picks itself (written to standard output), no TCP.
    xvfb = std::make_unique<ChildProcess>(ProcessSpec{
        kXvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"}, env});
    if (!waitUntil([&] { return !xvfb->stdoutLines().empty() || !xvfb->running(); },
                   kStartTimeout) ||
        xvfb->stdoutLines().empty()) {
        whyNot = "Xvfb did not start: " + xvfb->describe();
        return false;
    }
    outer.display_ = ":" + xvfb->stdoutLines().front();
    XSetErrorHandler(&ignoreXError);
    if (!waitUntil([&] { return (x = XOpenDisplay(outer.display_.c_str())) != nullptr; },
                   kStartTimeout)) {
        whyNot = "cannot open the display " + outer.display_;
        return false;
    }
    root = DefaultRootWindow(x);
    env = outer.environment();

    openbox = std::make_unique<ChildProcess>(ProcessSpec{kOpenbox, {"--sm-disable"}, env});
    const Atom activeWindow = XInternAtom(x, "_NET_ACTIVE_WINDOW", False);
    if (!waitUntil(
            [&] {
                auto supported = windowProperty(x, root, "_NET_SUPPORTED", XA_ATOM).items;
                return std::find(supported.begin(), supported.end(), activeWindow) !=
                       supported.end();
            },
            kStartTimeout)) {
        whyNot = "openbox did not come up: " + openbox->describe();
        return false;
    }
    parking = XCreateSimpleWindow(x, root, 0, 0, 64, 64, 0, 0, 0);
    XMapWindow(x, parking);
    XSync(x, False);

    session = linux_::wire::BusClient::connect(outer.bus_->address(), whyNot);
    launcher =
        std::make_unique<ChildProcess>(ProcessSpec{kLauncher, {"--launch-immediately"}, env});
    // Ready when our launcher owns its name (asking for the address any earlier would have
    // the bus start another launcher, without the display) and has published the address
    // on the display, where Qt looks for it.
    std::string address;
    if (!session || !waitUntil(
                        [&] {
                            return session->nameOwnerPid("org.a11y.Bus") == launcher->pid() &&
                                   !outer.rootText("AT_SPI_BUS").empty() &&
                                   !(address = a11yAddress()).empty();
                        },
                        kStartTimeout)) {
        whyNot = "the accessibility bus did not come up: " + launcher->describe();
        return false;
    }
    waitUntil([&] { return (a11y = linux_::wire::BusClient::connect(address, whyNot)) != nullptr; },
              kStartTimeout);
    sd_bus_slot* slot = nullptr;
    if (!a11y ||
        sd_bus_match_signal(a11y->bus(), &slot, nullptr, nullptr, "org.a11y.atspi.Event.Window",
                            nullptr, &onWindowEvent, this) < 0) {
        whyNot = "cannot watch window activation on the accessibility bus " + address;
        return false;
    }
    activations.reset(slot);
    return true;
}

std::string DesktopSession::registeredName(pid_t pid) {
    sd_bus_message* reply = nullptr;
    linux_::BusError error;
    if (sd_bus_call_method(impl_->a11y->bus(), "org.a11y.atspi.Registry",
                           "/org/a11y/atspi/accessible/root", "org.a11y.atspi.Accessible",
                           "GetChildren", error.get(), &reply, "") < 0) {
        return {};
    }
    linux_::MessagePtr owned(reply);
    if (sd_bus_message_enter_container(reply, 'a', "(so)") < 0) {
        return {};
    }
    const char* name = nullptr;
    const char* path = nullptr;
    while (sd_bus_message_read(reply, "(so)", &name, &path) > 0) {
        if (impl_->a11y->nameOwnerPid(name) == pid) {
            return name;
        }
    }
    return {};
}

sd_bus* DesktopSession::a11yBus() {
    return impl_->a11y->bus();
}

unsigned long DesktopSession::windowOf(pid_t pid) {
    Display* d = impl_->x;
    for (unsigned long w : windowProperty(d, impl_->root, "_NET_CLIENT_LIST", XA_WINDOW).items) {
        auto pids = windowProperty(d, w, "_NET_WM_PID", XA_CARDINAL).items;
        if (!pids.empty() && static_cast<pid_t>(pids.front()) == pid) {
            return w;
        }
    }
    return 0;
}

std::string DesktopSession::rootText(const char* property) {
    return windowProperty(impl_->x, impl_->root, property, AnyPropertyType).text;
}

unsigned long DesktopSession::activeWindow() {
    auto active = windowProperty(impl_->x, impl_->root, "_NET_ACTIVE_WINDOW", XA_WINDOW).items;
    return active.empty() ? 0 : active.front();
}

bool DesktopSession::activate(pid_t pid, bool announced) {
    const unsigned long window = windowOf(pid);
    if (window == 0 || !activateWindow(window)) {
        return false;
    }
    auto announcedNow = [&] {
        impl_->pump();
        return !impl_->active.empty() && impl_->a11y->nameOwnerPid(impl_->active.back()) == pid;
    };
    if (!announced || waitUntil(announcedNow, 2s)) {
        return true;
    }
    // A window that had the focus before its application knew that anybody listens was never
    // announced: move the focus away to a window of ours and back.
    return activateWindow(impl_->parking) && activateWindow(window) &&
           waitUntil(announcedNow, e2e::kDefaultTimeout);
}

unsigned long DesktopSession::parkingWindow() const {
    return impl_->parking;
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
        XSendEvent(d, impl_->root, False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
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
    const pid_t pid = app->pid();
    impl_->applications.push_back(pid);
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
    const std::string& toolkit, const std::vector<std::string>& more, std::string& whyNot) {
    std::vector<std::string> args{
        std::string(KIVORA_SOURCE_DIR) + "/tests/desktop/apps/menu_app.py", toolkit};
    args.insert(args.end(), more.begin(), more.end());
    auto app = startApplication(kPython, args, whyNot);
    if (app && !app->waitForLine("ready")) {
        whyNot = toolkit + " test application never said it was ready: " + app->describe();
        return nullptr;
    }
    return app;
}

}  // namespace kivora::desktop
