#pragma once
// The event-tap port over a simulated desktop: posted keyboard events are recorded, not typed.

#include "platform/EventTap.h"
#include "platform/simulated/SimulatedDesktopModel.h"

namespace kivora::simulated {

class SimulatedEventTap : public EventTap {
public:
    explicit SimulatedEventTap(SimulatedDesktopModel& model) : model_(model) {}

    // No key is held down on a simulated desktop, so a new event has no flags.
    std::optional<KeyboardEvent> createKeyboardEvent(std::uint16_t keyCode, bool keyDown) override {
        return KeyboardEvent{keyCode, keyDown, 0};
    }
    void setFlags(KeyboardEvent& event, std::uint64_t flags) override { event.flags = flags; }
    // Every tap leads to the same recording: nothing here reacts to the events.
    void post(int, const KeyboardEvent& event) override {
        model_.recordKeyEvent({event.keyCode, event.keyDown, event.flags});
    }

private:
    SimulatedDesktopModel& model_;
};

}  // namespace kivora::simulated
