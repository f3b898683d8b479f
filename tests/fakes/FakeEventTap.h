#pragma once

#include <vector>

#include "platform/EventTap.h"

namespace kivora::fake {

// Records every posted event with its tap.
class FakeEventTap : public EventTap {
public:
    struct Posted {
        int tap = 0;
        KeyboardEvent event;
    };

    std::optional<KeyboardEvent> createKeyboardEvent(std::uint16_t keyCode, bool keyDown) override {
        // A fresh event carries the live modifier state; setFlags must replace it.
        return KeyboardEvent{keyCode, keyDown, liveModifierFlags};
    }
    void setFlags(KeyboardEvent& event, std::uint64_t flags) override { event.flags = flags; }
    void post(int tap, const KeyboardEvent& event) override { posted.push_back({tap, event}); }

    std::uint64_t liveModifierFlags = 0x100;
    std::vector<Posted> posted;
};

}  // namespace kivora::fake
