#pragma once
// The workspace port over a simulated desktop: its running applications, the frontmost one,
// and the observation of frontmost changes, delivered by the run loop after the callback that
// made the change has returned.

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "platform/Workspace.h"
#include "platform/simulated/SimulatedDesktopModel.h"

namespace kivora::simulated {

class SimulatedWorkspace;

class SimulatedRunningApplication : public RunningApplication {
public:
    SimulatedRunningApplication(SimulatedWorkspace* workspace, SimulatedApplicationRef application)
        : workspace_(workspace), application_(std::move(application)) {}

    std::optional<std::string> bundleIdentifier() const override {
        return application_->bundleIdentifier;
    }
    std::int32_t processIdentifier() const override { return application_->processIdentifier; }
    bool activateWithOptions(std::uint32_t options) override;

private:
    friend class SimulatedWorkspace;
    SimulatedWorkspace* workspace_;  // null once the desktop is gone
    SimulatedApplicationRef application_;
};

class SimulatedWorkspace : public Workspace {
public:
    explicit SimulatedWorkspace(SimulatedDesktopModel& model) : model_(model) {}
    ~SimulatedWorkspace() override;
    SimulatedWorkspace(const SimulatedWorkspace&) = delete;
    SimulatedWorkspace& operator=(const SimulatedWorkspace&) = delete;

    RunningApplicationRef frontmostApplication() override;
    void addObserver(std::string_view keyPath, KeyPathObserver observer) override;
    void removeObserver(std::string_view keyPath) override;

    // From now on a change asks `requestDelivery` to have deliver() called once the current
    // callback has returned; the first request comes at once when an application is in front.
    void attach(std::function<void()> requestDelivery);
    // Tells the observer of the changes since the last delivery, if any.
    void deliver();

    // Makes `application` (null: nobody) frontmost. Activating the application already in
    // front is not a change and is not observed.
    void setFrontmost(const SimulatedApplicationRef& application);
    // The application leaves: its handles become invalid, and the front is empty when it was
    // in front.
    void quit(const SimulatedApplicationRef& application);

private:
    void changed();

    SimulatedDesktopModel& model_;
    std::map<const SimulatedApplication*, std::shared_ptr<SimulatedRunningApplication>> running_;
    std::optional<KeyPathObserver> observer_;
    std::function<void()> requestDelivery_;
    // Changes since the last delivery collapse into one observation: the observer reads the
    // state as it is then, so several would all see the same front.
    bool pending_ = false;
};

}  // namespace kivora::simulated
