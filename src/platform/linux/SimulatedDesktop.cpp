#include "platform/linux/SimulatedDesktop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/linux/DesktopControl.h"
#include "platform/linux/Diagnostics.h"
#include "platform/linux/Errno.h"

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
        problem = errnoText(-errno);
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
            problem = errnoText(-errno);
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

std::optional<SimulatedDesktopModel> SimulatedDesktop::load(const std::string& path,
                                                            std::string& error) {
    std::string text;
    std::string problem;
    if (!readFile(path, text, problem)) {
        error = oneLine(path + ": cannot read the desktop file: " + problem);
        return std::nullopt;
    }
    return parse(text, path, error);
}

std::optional<SimulatedDesktopModel> SimulatedDesktop::parse(std::string_view text,
                                                             const std::string& name,
                                                             std::string& error) {
    std::string problem;
    auto model = simulated::parseDesktop(text, problem);
    if (!model) {
        error = oneLine(name + ": " + problem);
    }
    return model;
}

SimulatedDesktop::SimulatedDesktop(SimulatedDesktopModel model, sd_event* event, sd_bus* bus)
    : model_(std::move(model)),
      accessibility_(model_,
                     [](double seconds) {
                         std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
                     }),
      workspace_(model_),
      eventTap_(model_),
      event_(event),
      bus_(bus) {}

SimulatedDesktop::~SimulatedDesktop() {
    sd_bus_slot_unref(control_);
    sd_event_source_disable_unref(deferred_);
}

int SimulatedDesktop::attach() {
    if (attached_) {
        return -EALREADY;
    }
    if (event_ == nullptr) {
        return -EINVAL;
    }
    sd_event_source* source = nullptr;
    int r = sd_event_add_defer(event_, &source, &SimulatedDesktop::onDeferred, this);
    if (r >= 0) {
        r = sd_event_source_set_priority(source, kObservationPriority);
    }
    if (r >= 0) {
        r = sd_event_source_set_enabled(source, SD_EVENT_OFF);
    }
    if (r >= 0) {
        r = sd_event_source_set_description(source, "simulated-desktop-frontmost");
    }
    if (r < 0) {
        sd_event_source_disable_unref(source);
        return r;
    }
    deferred_ = source;
    if (bus_ != nullptr) {
        r = addDesktopControl(bus_, *this, &control_);
        if (r < 0) {
            return r;
        }
    }
    attached_ = true;
    workspace_.attach([this] {
        // A one-shot defer source runs on the next loop iteration, never inside this one.
        if (const int e = sd_event_source_set_enabled(deferred_, SD_EVENT_ONESHOT); e < 0) {
            writeDiagnostic("simulated desktop: cannot schedule the frontmost observation: " +
                            errnoText(e));
        }
    });
    return 0;
}

int SimulatedDesktop::onDeferred(sd_event_source*, void* userdata) {
    // Never let an exception cross the C event loop.
    try {
        static_cast<SimulatedDesktop*>(userdata)->workspace_.deliver();
    } catch (const std::exception& e) {
        writeDiagnostic(std::string("simulated desktop: frontmost observer failed: ") + e.what());
    } catch (...) {
        writeDiagnostic("simulated desktop: frontmost observer failed");
    }
    return 0;
}

bool SimulatedDesktop::activate(std::string_view bundleIdentifier) {
    auto app = model_.runningApplication(bundleIdentifier);
    if (!app) {
        return false;
    }
    workspace_.setFrontmost(app);
    return true;
}

bool SimulatedDesktop::activateProcess(std::int32_t processIdentifier) {
    if (processIdentifier == 0) {
        workspace_.setFrontmost(nullptr);
        return true;
    }
    auto app = model_.runningApplication(processIdentifier);
    if (!app) {
        return false;
    }
    workspace_.setFrontmost(app);
    return true;
}

bool SimulatedDesktop::quit(std::string_view bundleIdentifier) {
    auto app = model_.runningApplication(bundleIdentifier);
    if (!app) {
        return false;
    }
    workspace_.quit(app);
    return true;
}

std::vector<std::string> SimulatedDesktop::pressedItems() const {
    return {model_.pressedItems.begin(), model_.pressedItems.end()};
}

std::vector<KeyboardEvent> SimulatedDesktop::keyEvents() const {
    std::vector<KeyboardEvent> events;
    events.reserve(model_.keyEvents.size());
    for (const auto& e : model_.keyEvents) {
        events.push_back({e.keyCode, e.keyDown, e.flags});
    }
    return events;
}

}  // namespace kivora::linux_
