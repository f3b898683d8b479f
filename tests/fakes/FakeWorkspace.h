#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Workspace.h"

namespace kivora::fake {

class FakeWorkspace;

class FakeRunningApplication : public RunningApplication {
public:
    FakeRunningApplication(FakeWorkspace& workspace, std::optional<std::string> bundleIdentifier,
                           std::int32_t processIdentifier)
        : workspace_(workspace), bundleIdentifier_(std::move(bundleIdentifier)),
          processIdentifier_(processIdentifier) {}

    std::optional<std::string> bundleIdentifier() const override { return bundleIdentifier_; }
    std::int32_t processIdentifier() const override { return processIdentifier_; }
    bool activateWithOptions(std::uint32_t options) override;

    std::vector<std::uint32_t> activations;
    bool terminated = false;

private:
    FakeWorkspace& workspace_;
    std::optional<std::string> bundleIdentifier_;
    std::int32_t processIdentifier_;
};

// Frontmost changes are queued and reach the observer only in flush(), the way the real
// workspace reports them after the current callback.
class FakeWorkspace : public Workspace {
public:
    std::shared_ptr<FakeRunningApplication> addApplication(std::optional<std::string> bundleId,
                                                           std::int32_t pid);

    RunningApplicationRef frontmostApplication() override { return frontmost_; }
    void addObserver(std::string_view keyPath, KeyPathObserver observer) override;
    void removeObserver(std::string_view keyPath) override;

    // Makes `app` (or nobody) frontmost and queues one observation.
    void setFrontmost(RunningApplicationRef app);
    // Delivers the queued observations; returns how many were delivered.
    int flush();
    // setFrontmost + flush.
    void switchTo(RunningApplicationRef app) {
        setFrontmost(std::move(app));
        flush();
    }

    std::vector<std::shared_ptr<FakeRunningApplication>> applications;
    std::vector<std::string> observedKeyPaths;
    std::vector<std::string> removedKeyPaths;

private:
    RunningApplicationRef frontmost_;
    std::optional<KeyPathObserver> observer_;
    int pending_ = 0;
};

}  // namespace kivora::fake
