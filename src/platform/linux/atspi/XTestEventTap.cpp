#include "platform/linux/atspi/XTestEventTap.h"

#include <string>
#include <vector>

#include "platform/linux/atspi/KeyCodes.h"
#include "platform/linux/atspi/X11Session.h"

#include "platform/linux/Diagnostics.h"

namespace kivora::linux_::atspi {

std::optional<KeyboardEvent> XTestEventTap::createKeyboardEvent(std::uint16_t keyCode,
                                                                bool keyDown) {
    if (x11_ == nullptr || !x11_->alive() || !x11_->hasXTest()) {
        return std::nullopt;
    }
    return KeyboardEvent{keyCode, keyDown, 0};
}

void XTestEventTap::setFlags(KeyboardEvent& event, std::uint64_t flags) {
    event.flags = flags;
}

void XTestEventTap::post(int, const KeyboardEvent& event) {
    if (x11_ == nullptr || !x11_->alive()) {
        return;
    }
    const auto keysym = keysymForKeyCode(event.keyCode);
    const unsigned key = keysym ? x11_->keycodeForKeysym(*keysym) : 0;
    if (key == 0) {
        writeDiagnostic("key code " + std::to_string(event.keyCode) +
                        " has no key on this keyboard layout: not typed");
        return;
    }
    std::vector<unsigned> modifiers;
    for (Keysym modifier : modifierKeysymsForFlags(event.flags)) {
        if (unsigned code = x11_->keycodeForKeysym(modifier); code != 0) {
            modifiers.push_back(code);
        }
    }
    if (event.keyDown) {
        for (unsigned code : modifiers) {
            x11_->fakeKey(code, true);
        }
        x11_->fakeKey(key, true);
    } else {
        x11_->fakeKey(key, false);
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
            x11_->fakeKey(*it, false);
        }
    }
    x11_->sync();
}

}  // namespace kivora::linux_::atspi
