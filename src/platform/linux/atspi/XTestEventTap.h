#pragma once
// Synthetic keys through XTest: the key of a virtual key code on the live layout, with the
// modifier keys of the flags held around it.

#include "platform/EventTap.h"

namespace kivora::linux_::atspi {

class X11Session;

class XTestEventTap : public EventTap {
public:
    // `x11` may be null (no display): then no event can be created.
    explicit XTestEventTap(X11Session* x11) : x11_(x11) {}

    std::optional<KeyboardEvent> createKeyboardEvent(std::uint16_t keyCode, bool keyDown) override;
    void setFlags(KeyboardEvent& event, std::uint64_t flags) override;
    // Key down: the modifier keys of the flags go down, then the key. Key up: the key goes up,
    // then the modifier keys, in reverse. A key that the layout cannot type is not sent (one
    // line on stderr says so).
    void post(int tap, const KeyboardEvent& event) override;

private:
    X11Session* x11_;
};

}  // namespace kivora::linux_::atspi
