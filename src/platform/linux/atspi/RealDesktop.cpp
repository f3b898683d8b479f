#include "platform/linux/atspi/RealDesktop.h"

#include <cstdlib>
#include <cstring>

#include "platform/linux/Errno.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/atspi/AtspiApplications.h"
#include "platform/linux/atspi/AtspiBus.h"
#include "platform/linux/atspi/AtspiWorkspace.h"
#include "platform/linux/atspi/DesktopEntries.h"
#include "platform/linux/atspi/X11Session.h"
#include "platform/linux/atspi/XTestEventTap.h"

#include "platform/linux/Diagnostics.h"

namespace kivora::linux_ {

using namespace atspi;

struct RealDesktop::Impl {
    // Declaration order is destruction order in reverse: the bus outlives its users.
    std::unique_ptr<AtspiBus> bus;
    std::unique_ptr<X11Session> x11;
    std::unique_ptr<DesktopEntries> entries;
    std::unique_ptr<AtspiApplications> applications;
    std::unique_ptr<AtspiAccessibility> accessibility;
    std::unique_ptr<AtspiWorkspace> workspace;
    std::unique_ptr<XTestEventTap> eventTap;
};

RealDesktop::RealDesktop(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RealDesktop::~RealDesktop() = default;

namespace {

// A session with a display, or one whose accessibility bus already runs. On a bus without
// either the accessibility bus would only be started on demand for nothing to read.
bool desktopSession(sd_bus* sessionBus, std::string& error) {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    CallResult owned = callMethod(
        sessionBus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner",
        [](sd_bus_message* m) { return sd_bus_message_append(m, "s", "org.a11y.Bus"); },
        kDefaultTimeoutUsec);
    int running = 0;
    if (owned.ok() && sd_bus_message_read(owned.reply.get(), "b", &running) >= 0 && running != 0) {
        return true;
    }
    error = "no desktop session ($DISPLAY is not set and no accessibility bus runs)";
    return false;
}

}  // namespace

std::unique_ptr<RealDesktop> RealDesktop::connect(sd_event* event, sd_bus* sessionBus,
                                                  std::string& error) {
    if (!desktopSession(sessionBus, error)) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->bus = AtspiBus::open(event, sessionBus, error);
    if (!impl->bus) {
        return nullptr;
    }
    std::string displayError;
    impl->x11 = X11Session::open(nullptr, displayError);
    if (!impl->x11) {
        writeDiagnostic(displayError +
                        ": applications cannot be activated and keys cannot be typed");
    }
    impl->entries = std::make_unique<DesktopEntries>(DesktopEntries::standardFolders());
    impl->applications = std::make_unique<AtspiApplications>(*impl->bus, *impl->entries);
    impl->accessibility = std::make_unique<AtspiAccessibility>(*impl->bus, *impl->applications);
    impl->workspace =
        std::make_unique<AtspiWorkspace>(*impl->bus, *impl->applications, impl->x11.get());
    if (int r = impl->workspace->start(event); r < 0) {
        error = std::string("cannot follow window activation on the accessibility bus: ") +
                errnoText(r);
        return nullptr;
    }
    impl->eventTap = std::make_unique<XTestEventTap>(impl->x11.get());
    return std::unique_ptr<RealDesktop>(new RealDesktop(std::move(impl)));
}

Workspace& RealDesktop::workspace() {
    return *impl_->workspace;
}
Accessibility& RealDesktop::accessibility() {
    return *impl_->accessibility;
}
void RealDesktop::catchUp() {
    impl_->workspace->catchUp();
}
EventTap& RealDesktop::eventTap() {
    return *impl_->eventTap;
}
std::uint64_t RealDesktop::callCount() const {
    return impl_->bus->callCount();
}
std::uint64_t RealDesktop::waitCount() const {
    return impl_->bus->waitCount();
}

}  // namespace kivora::linux_
