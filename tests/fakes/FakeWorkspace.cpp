#include "fakes/FakeWorkspace.h"

namespace kivora::fake {

bool FakeRunningApplication::activateWithOptions(std::uint32_t options) {
    activations.push_back(options);
    if (terminated) {
        return false;
    }
    for (const auto& app : workspace_.applications) {
        if (app.get() == this) {
            workspace_.setFrontmost(app);
        }
    }
    return true;
}

std::shared_ptr<FakeRunningApplication> FakeWorkspace::addApplication(
    std::optional<std::string> bundleId, std::int32_t pid) {
    auto app = std::make_shared<FakeRunningApplication>(*this, std::move(bundleId), pid);
    applications.push_back(app);
    return app;
}

void FakeWorkspace::addObserver(std::string_view keyPath, KeyPathObserver observer) {
    observedKeyPaths.emplace_back(keyPath);
    observer_ = std::move(observer);
}

void FakeWorkspace::removeObserver(std::string_view keyPath) {
    removedKeyPaths.emplace_back(keyPath);
    observer_.reset();
    pending_ = 0;
}

void FakeWorkspace::setFrontmost(RunningApplicationRef app) {
    frontmost_ = std::move(app);
    ++pending_;
}

int FakeWorkspace::flush() {
    int delivered = 0;
    while (pending_ > 0 && observer_) {
        --pending_;
        ++delivered;
        auto observer = *observer_;
        observer(std::string("frontmostApplication"));
    }
    return delivered;
}

}  // namespace kivora::fake
