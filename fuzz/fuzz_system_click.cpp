// The system-shortcut click request through the delegate: an allow-list from a harvest of
// random hot keys, then click requests with random payloads and with near-valid ones built
// from the allow-list. Only a pair the helper handed out is ever typed, always as a key down
// and its key up; a well-formed request for such a pair is typed.
#include <cstdint>
#include <optional>
#include <string>

#include "FuzzHotKeys.h"
#include "FuzzInput.h"
#include "app/AppDelegate.h"
#include "fakes/FakePlatform.h"
#include "messaging/NotificationNames.h"

namespace {

using namespace kivora;
using kivora::fuzz::FuzzInput;

constexpr int kMaxSteps = 24;

// A tap whose events cannot always be made (no display, say).
struct FailingEventTap : fake::FakeEventTap {
    std::optional<KeyboardEvent> createKeyboardEvent(std::uint16_t keyCode, bool keyDown) override {
        if (failCreate) {
            return std::nullopt;
        }
        return FakeEventTap::createKeyboardEvent(keyCode, keyDown);
    }
    bool failCreate = false;
};

// One array element standing for `number`, in a form chosen by the input. Form 0 is the one
// the main application writes.
std::string element(FuzzInput& in, std::int64_t number, bool& wellFormed) {
    const std::string digits = std::to_string(number);
    const std::uint8_t form = in.byte() % 10;
    wellFormed = wellFormed && form == 0;
    switch (form) {
        case 0:
            return "\"" + digits + "\"";
        case 1:
            return digits;
        case 2:
            return "\"+" + digits + "\"";
        case 3:
            return "\" " + digits + "\"";
        case 4:
            return "\"00" + digits + "\"";
        case 5:
            return "\"-" + digits + "\"";
        case 6:
            return "\"" + digits + ".0\"";
        case 7:
            return "\"" + digits + "0000000000000000000\"";
        case 8:
            return "\"" + fuzz::word(in) + "\"";
        default:
            return in.text();
    }
}

struct Request {
    std::string name;
    // Set when the request is well formed: the pair it asks for.
    bool wellFormed = false;
    std::int64_t keyCode = 0;
    std::int64_t flags = 0;
};

Request request(FuzzInput& in, const AppDelegate& delegate) {
    const std::string& prefix = names::systemClickedPrefix();
    Request r;
    if (in.below(4) == 0) {
        r.name = in.flag() ? prefix + in.text() : in.text();
        return r;
    }
    const auto& offered = delegate.keyCodeAndFlagsArr;
    if (!offered.empty() && in.below(4) != 0) {
        const KeyCodeAndFlags& pair = offered[in.below(offered.size())];
        r.keyCode = pair.keyCode;
        r.flags = pair.flags;
    } else {
        r.keyCode = static_cast<std::int8_t>(in.byte());
        r.flags = in.pick(fuzz::kMasks);
    }
    bool wellFormed = true;
    std::string text = "[" + element(in, r.keyCode, wellFormed);
    for (std::size_t extra = in.below(3); extra > 0; --extra) {
        text += ", \"" + fuzz::word(in) + "\"";
        wellFormed = false;
    }
    text += ", " + element(in, r.flags, wellFormed) + "]";
    if (in.below(8) == 0) {
        text += in.text();
        wellFormed = false;
    }
    r.name = prefix + text;
    r.wellFormed = wellFormed;
    return r;
}

bool isOffered(const AppDelegate& delegate, std::int64_t keyCode, std::int64_t flags) {
    for (const KeyCodeAndFlags& pair : delegate.keyCodeAndFlagsArr) {
        if (pair.keyCode == keyCode && pair.flags == flags) {
            return true;
        }
    }
    return false;
}

void click(FuzzInput& in, AppDelegate& delegate, FailingEventTap& tap) {
    const Request r = request(in, delegate);
    const std::size_t before = tap.posted.size();
    delegate.handleSystemShortcutClicked(Notification{r.name, names::helperIdentifier(), {}});
    const std::size_t posted = tap.posted.size() - before;
    FUZZ_CHECK(posted == 0 || posted == 2);
    if (posted == 2) {
        const auto& down = tap.posted[before];
        const auto& up = tap.posted[before + 1];
        FUZZ_CHECK(down.tap == kCGSessionEventTap && up.tap == kCGSessionEventTap);
        FUZZ_CHECK(down.event.keyDown && !up.event.keyDown);
        FUZZ_CHECK(down.event.keyCode == up.event.keyCode && down.event.flags == up.event.flags);
        FUZZ_CHECK(down.event.flags <= static_cast<std::uint64_t>(INT64_MAX));
        FUZZ_CHECK(
            isOffered(delegate, down.event.keyCode, static_cast<std::int64_t>(down.event.flags)));
        FUZZ_CHECK(!tap.failCreate);
    }
    if (r.wellFormed) {
        const bool typeable = r.keyCode >= 0 && r.keyCode <= 65535 && r.flags >= 0 &&
                              isOffered(delegate, r.keyCode, r.flags) && !tap.failCreate;
        FUZZ_CHECK(posted == (typeable ? 2U : 0U));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    fake::FakePlatform fakes;
    fakes.preferences.stored["com.apple.symbolichotkeys"] =
        Dictionary{{"AppleSymbolicHotKeys", fuzz::hotKeys(in)}};

    FailingEventTap tap;
    AppDelegate delegate(Platform{fakes.center, fakes.workspace, fakes.accessibility,
                                  fakes.preferences, fakes.bundle, tap, fakes.runLoop,
                                  fakes.console});
    const Notification harvest{names::getSystemShortcut(), names::helperIdentifier(), {}};
    delegate.handleNotification(harvest);
    FUZZ_CHECK(fakes.center.posts.size() == 2);

    for (int step = 0; step < kMaxSteps && !in.atEnd(); ++step) {
        switch (in.byte() % 8) {
            case 0:
                delegate.handleNotification(harvest);
                break;
            case 1:
                tap.failCreate = !tap.failCreate;
                break;
            default:
                click(in, delegate, tap);
        }
    }
    return 0;
}
