#pragma once
// Port: synthetic keyboard events posted into the login session's event stream.

#include <cstdint>
#include <optional>

namespace kivora {

struct KeyboardEvent {
    std::uint16_t keyCode = 0;
    bool keyDown = false;
    std::uint64_t flags = 0;
};

inline constexpr int kCGHIDEventTap = 0;
inline constexpr int kCGSessionEventTap = 1;
inline constexpr int kCGAnnotatedSessionEventTap = 2;

class EventTap {
public:
    virtual ~EventTap() = default;

    // A keyboard event for `keyCode`, going down or up, with the flags of the current
    // modifier state; none when the system cannot create one.
    virtual std::optional<KeyboardEvent> createKeyboardEvent(std::uint16_t keyCode,
                                                             bool keyDown) = 0;
    // Replaces the event's whole flag mask.
    virtual void setFlags(KeyboardEvent& event, std::uint64_t flags) = 0;
    // Posts the event at `tap` (kCGSessionEventTap for the session stream).
    virtual void post(int tap, const KeyboardEvent& event) = 0;
};

}  // namespace kivora
