#include "platform/linux/SimulatedDesktop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/DesktopAccessibility.h"
#include "platform/linux/DesktopControl.h"
#include "platform/linux/DesktopEventTap.h"
#include "platform/linux/DesktopModel.h"
#include "platform/linux/DesktopWorkspace.h"

namespace kivora::linux_ {

namespace {

// The parser refuses more than this anyway; reading stops one byte beyond so that it can say so.
constexpr std::size_t kMaxFileBytes = 64 * 1024 * 1024;

// Diagnostics are one line each: a control character in a file name or a parser message
// would break that.
std::string oneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = ' ';
        }
    }
    return text;
}

bool readFile(const std::string& path, std::string& text, std::string& problem) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        problem = "is a directory";
        return false;
    }
    text.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            problem = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kMaxFileBytes) {
            problem = "larger than " + std::to_string(kMaxFileBytes) + " bytes";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

}  // namespace

struct SimulatedDesktop::Impl {
    Impl(std::unique_ptr<char> token, DesktopModel m)
        : owner(std::move(token)),
          model(std::move(m)),
          accessibility(model, owner.get()),
          workspace(model),
          eventTap(model) {}
    ~Impl() { sd_bus_slot_unref(control); }

    // Marks this desktop's element handles; it must exist before the model is parsed.
    std::unique_ptr<char> owner;
    DesktopModel model;
    DesktopAccessibility accessibility;
    DesktopWorkspace workspace;
    DesktopEventTap eventTap;
    sd_bus_slot* control = nullptr;
    bool attached = false;
};

std::unique_ptr<SimulatedDesktop> SimulatedDesktop::load(const std::string& path,
                                                         std::string& error) {
    std::string text;
    std::string problem;
    if (!readFile(path, text, problem)) {
        error = oneLine(path + ": cannot read the desktop file: " + problem);
        return nullptr;
    }
    return fromText(text, path, error);
}

std::unique_ptr<SimulatedDesktop> SimulatedDesktop::fromText(std::string_view text,
                                                             const std::string& name,
                                                             std::string& error) {
    auto owner = std::make_unique<char>();
    std::string problem;
    auto model = parseDesktop(text, owner.get(), problem);
    if (!model) {
        error = oneLine(name + ": " + problem);
        return nullptr;
    }
    auto impl = std::make_unique<Impl>(std::move(owner), std::move(*model));
    return std::unique_ptr<SimulatedDesktop>(new SimulatedDesktop(std::move(impl)));
}

SimulatedDesktop::SimulatedDesktop(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SimulatedDesktop::~SimulatedDesktop() = default;

Workspace& SimulatedDesktop::workspace() {
    return impl_->workspace;
}
Accessibility& SimulatedDesktop::accessibility() {
    return impl_->accessibility;
}
EventTap& SimulatedDesktop::eventTap() {
    return impl_->eventTap;
}

int SimulatedDesktop::attach(sd_event* event, sd_bus* bus) {
    if (impl_->attached) {
        return -EALREADY;
    }
    int r = impl_->workspace.attach(event);
    if (r < 0) {
        return r;
    }
    if (bus != nullptr) {
        r = addDesktopControl(bus, *this, &impl_->control);
        if (r < 0) {
            return r;
        }
    }
    impl_->attached = true;
    return 0;
}

bool SimulatedDesktop::activate(std::string_view bundleIdentifier) {
    auto app = impl_->model.runningApplication(bundleIdentifier);
    if (!app) {
        return false;
    }
    impl_->workspace.setFrontmost(app);
    return true;
}

bool SimulatedDesktop::activateProcess(std::int32_t processIdentifier) {
    if (processIdentifier == 0) {
        impl_->workspace.setFrontmost(nullptr);
        return true;
    }
    auto app = impl_->model.runningApplication(processIdentifier);
    if (!app) {
        return false;
    }
    impl_->workspace.setFrontmost(app);
    return true;
}

bool SimulatedDesktop::quit(std::string_view bundleIdentifier) {
    auto app = impl_->model.runningApplication(bundleIdentifier);
    if (!app) {
        return false;
    }
    impl_->workspace.quit(app);
    return true;
}

void SimulatedDesktop::setTrusted(bool trusted) {
    impl_->model.trusted = trusted;
}

std::vector<std::string> SimulatedDesktop::pressedItems() const {
    return {impl_->model.pressedItems.begin(), impl_->model.pressedItems.end()};
}

std::vector<KeyboardEvent> SimulatedDesktop::keyEvents() const {
    std::vector<KeyboardEvent> events;
    events.reserve(impl_->model.keyEvents.size());
    for (const auto& e : impl_->model.keyEvents) {
        events.push_back({e.keyCode, e.keyDown, e.flags});
    }
    return events;
}

std::uint32_t SimulatedDesktop::promptCount() const {
    return impl_->model.promptCount;
}

}  // namespace kivora::linux_
