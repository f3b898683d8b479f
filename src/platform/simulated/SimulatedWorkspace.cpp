#include "platform/linux/DesktopWorkspace.h"

#include <cstdio>

namespace kivora::linux_ {

namespace {
constexpr std::string_view kFrontmostKeyPath = "frontmostApplication";
}

bool DesktopRunningApplication::activateWithOptions(std::uint32_t) {
    if (workspace_ == nullptr || !application_->running) {
        return false;
    }
    workspace_->setFrontmost(application_);
    return true;
}

DesktopWorkspace::DesktopWorkspace(DesktopModel& model) : model_(model) {
    for (const auto& app : model_.applications) {
        running_.emplace(app.get(), std::make_shared<DesktopRunningApplication>(this, app));
    }
}

DesktopWorkspace::~DesktopWorkspace() {
    // The helper may hold application objects longer than the desktop lives.
    for (auto& [key, app] : running_) {
        app->workspace_ = nullptr;
    }
    sd_event_source_disable_unref(deferred_);
}

RunningApplicationRef DesktopWorkspace::frontmostApplication() {
    if (!model_.frontmost) {
        return nullptr;
    }
    auto it = running_.find(model_.frontmost.get());
    return it == running_.end() ? nullptr : it->second;
}

void DesktopWorkspace::addObserver(std::string_view keyPath, KeyPathObserver observer) {
    // No other key path of the workspace ever changes here, so there is nothing to observe.
    if (keyPath != kFrontmostKeyPath) {
        return;
    }
    observer_ = std::move(observer);
    pending_ = false;  // changes made before the observation began are not reported
}

void DesktopWorkspace::removeObserver(std::string_view keyPath) {
    if (keyPath != kFrontmostKeyPath) {
        return;
    }
    observer_.reset();
    pending_ = false;
    if (deferred_ != nullptr) {
        sd_event_source_set_enabled(deferred_, SD_EVENT_OFF);
    }
}

int DesktopWorkspace::attach(sd_event* event) {
    if (event == nullptr) {
        return -EINVAL;
    }
    if (deferred_ != nullptr) {
        return -EALREADY;
    }
    sd_event_source* source = nullptr;
    int r = sd_event_add_defer(event, &source, &DesktopWorkspace::onDeferred, this);
    if (r < 0) {
        return r;
    }
    r = sd_event_source_set_priority(source, kObservationPriority);
    if (r >= 0) {
        r = sd_event_source_set_enabled(source, pending_ ? SD_EVENT_ONESHOT : SD_EVENT_OFF);
    }
    if (r >= 0) {
        r = sd_event_source_set_description(source, "simulated-desktop-frontmost");
    }
    if (r < 0) {
        sd_event_source_disable_unref(source);
        return r;
    }
    deferred_ = source;
    // The desktop's story begins with its frontmost application coming to the front, so that
    // an observer registered before attaching starts out knowing it.
    if (model_.frontmost) {
        changed();
    }
    return 0;
}

void DesktopWorkspace::setFrontmost(const DesktopApplicationRef& application) {
    if (application == model_.frontmost) {
        return;
    }
    model_.frontmost = application;
    changed();
}

void DesktopWorkspace::quit(const DesktopApplicationRef& application) {
    application->running = false;
    if (application == model_.frontmost) {
        setFrontmost(nullptr);
    }
}

void DesktopWorkspace::changed() {
    if (!observer_) {
        return;
    }
    pending_ = true;
    if (deferred_ != nullptr) {
        // A one-shot defer source runs on the next loop iteration, never inside this one.
        int r = sd_event_source_set_enabled(deferred_, SD_EVENT_ONESHOT);
        if (r < 0) {
            std::fprintf(stderr,
                         "simulated desktop: cannot schedule the frontmost observation "
                         "(error %d)\n",
                         -r);
        }
    }
}

int DesktopWorkspace::onDeferred(sd_event_source*, void* userdata) {
    // Never let an exception cross the C event loop.
    try {
        static_cast<DesktopWorkspace*>(userdata)->deliver();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "simulated desktop: frontmost observer failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "simulated desktop: frontmost observer failed\n");
    }
    return 0;
}

void DesktopWorkspace::deliver() {
    if (!pending_ || !observer_) {
        return;
    }
    pending_ = false;
    // A copy: the observer may remove itself while it runs.
    KeyPathObserver observer = *observer_;
    observer(std::string(kFrontmostKeyPath));
}

}  // namespace kivora::linux_
