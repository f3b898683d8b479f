#include "platform/simulated/SimulatedWorkspace.h"

namespace kivora::simulated {

namespace {
constexpr std::string_view kFrontmostKeyPath = "frontmostApplication";
}

bool SimulatedRunningApplication::activateWithOptions(std::uint32_t) {
    if (workspace_ == nullptr || !application_->running) {
        return false;
    }
    workspace_->setFrontmost(application_);
    return true;
}

SimulatedWorkspace::~SimulatedWorkspace() {
    // The helper may hold application objects longer than the desktop lives.
    for (auto& [key, app] : running_) {
        app->workspace_ = nullptr;
    }
}

RunningApplicationRef SimulatedWorkspace::frontmostApplication() {
    if (!model_.frontmost) {
        return nullptr;
    }
    // One object per application, so that the helper can compare what it holds.
    auto& app = running_[model_.frontmost.get()];
    if (!app) {
        app = std::make_shared<SimulatedRunningApplication>(this, model_.frontmost);
    }
    return app;
}

void SimulatedWorkspace::addObserver(std::string_view keyPath, KeyPathObserver observer) {
    // No other key path of the workspace ever changes here, so there is nothing to observe.
    if (keyPath != kFrontmostKeyPath) {
        return;
    }
    observer_ = std::move(observer);
    pending_ = false;  // changes made before the observation began are not reported
}

void SimulatedWorkspace::removeObserver(std::string_view keyPath) {
    if (keyPath != kFrontmostKeyPath) {
        return;
    }
    observer_.reset();
    pending_ = false;
}

void SimulatedWorkspace::attach(std::function<void()> requestDelivery) {
    requestDelivery_ = std::move(requestDelivery);
    // The desktop's story begins with its frontmost application coming to the front, so that
    // an observer registered before attaching starts out knowing it.
    if (model_.frontmost || pending_) {
        pending_ = false;
        changed();
    }
}

void SimulatedWorkspace::setFrontmost(const SimulatedApplicationRef& application) {
    if (application == model_.frontmost) {
        return;
    }
    model_.frontmost = application;
    changed();
}

void SimulatedWorkspace::quit(const SimulatedApplicationRef& application) {
    application->running = false;
    if (application == model_.frontmost) {
        setFrontmost(nullptr);
    }
}

void SimulatedWorkspace::changed() {
    if (!observer_ || pending_) {
        return;
    }
    pending_ = true;
    if (requestDelivery_) {
        requestDelivery_();
    }
}

void SimulatedWorkspace::deliver() {
    if (!pending_ || !observer_) {
        return;
    }
    pending_ = false;
    // A copy: the observer may remove itself while it runs.
    KeyPathObserver observer = *observer_;
    observer(std::string(kFrontmostKeyPath));
}

}  // namespace kivora::simulated
