#pragma once
// The workspace port over a simulated desktop: its running applications, the frontmost one,
// and the observation of frontmost changes, delivered from the event loop after the callback
// that made the change has returned.

#include <map>
#include <memory>
#include <optional>

#include <systemd/sd-event.h>

#include "platform/Workspace.h"
#include "platform/linux/DesktopModel.h"

namespace kivora::linux_ {

class DesktopWorkspace;

class DesktopRunningApplication : public RunningApplication {
public:
    DesktopRunningApplication(DesktopWorkspace* workspace, DesktopApplicationRef application)
        : workspace_(workspace), application_(std::move(application)) {}

    std::optional<std::string> bundleIdentifier() const override {
        return application_->bundleIdentifier;
    }
    std::int32_t processIdentifier() const override { return application_->processIdentifier; }
    bool activateWithOptions(std::uint32_t options) override;

private:
    friend class DesktopWorkspace;
    DesktopWorkspace* workspace_;  // null once the desktop is gone
    DesktopApplicationRef application_;
};

class DesktopWorkspace : public Workspace {
public:
    // The priority of the observation: ahead of the bus, so that a change made while serving
    // one message is observed before the next message is read.
    static constexpr std::int64_t kObservationPriority = SD_EVENT_PRIORITY_IMPORTANT;

    explicit DesktopWorkspace(DesktopModel& model);
    ~DesktopWorkspace() override;
    DesktopWorkspace(const DesktopWorkspace&) = delete;
    DesktopWorkspace& operator=(const DesktopWorkspace&) = delete;

    RunningApplicationRef frontmostApplication() override;
    void addObserver(std::string_view keyPath, KeyPathObserver observer) override;
    void removeObserver(std::string_view keyPath) override;

    // Delivers observations through `event`, the first one at once when an application is in
    // front. Negative errno on failure.
    int attach(sd_event* event);

    // Makes `application` (null: nobody) frontmost. Activating the application already in
    // front is not a change and is not observed.
    void setFrontmost(const DesktopApplicationRef& application);
    // The application leaves: its handles become invalid, and the front is empty when it was
    // in front.
    void quit(const DesktopApplicationRef& application);

private:
    static int onDeferred(sd_event_source* source, void* userdata);
    void changed();
    void deliver();

    DesktopModel& model_;
    std::map<const DesktopApplication*, std::shared_ptr<DesktopRunningApplication>> running_;
    std::optional<KeyPathObserver> observer_;
    // Changes since the last delivery collapse into one observation: the observer reads the
    // state as it is then, so several would all see the same front.
    bool pending_ = false;
    sd_event_source* deferred_ = nullptr;
};

}  // namespace kivora::linux_
