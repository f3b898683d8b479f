#include "sheet/SheetController.h"

#include <glibmm/main.h>

#include <iostream>

#include "messaging/NotificationNames.h"
#include "sheet/SheetTiming.h"

namespace kivora::sheet {

namespace {

constexpr const char* kHowToStart =
    "Start it with \"systemctl --user start kivoradata\", or run KivoraData from its install "
    "folder (libexec/kivora), then open the sheet again.";

const Value* entry(const Notification& n, const std::string& key) {
    auto found = n.userInfo.find(key);
    return found == n.userInfo.end() ? nullptr : &found->second;
}

bool isForUs(const Notification& n) {
    return n.object && *n.object == names::mainApplicationIdentifier();
}

}  // namespace

SheetController::SheetController(HelperLink& link, SheetWindow& window, std::function<void()> done)
    : link_(link), window_(window), done_(std::move(done)) {
    link_.onHelperStarted = [this](bool running, const std::string& why) {
        onHelperStarted(running, why);
    };
    link_.onNotification = [this](const Notification& n) { onNotification(n); };
    window_.onChosen = [this](View view, const Item& item) { choose(view, item); };
    window_.onSystemViewShown = [this] {
        systemWanted_ = true;
        if (phase_ == Phase::Shown) {
            readSystem();
        }
    };
}

SheetController::~SheetController() {
    timer_.disconnect();
    systemTimer_.disconnect();
}

void SheetController::after(unsigned ms, std::function<void()> then) {
    timer_.disconnect();
    timer_ = Glib::signal_timeout().connect(
        [then = std::move(then)] {
            then();
            return false;
        },
        ms);
}

void SheetController::refresh() {
    if (!helperRunning_) {
        phase_ = Phase::StartingHelper;
        window_.setMessage("Starting the KivoraData helper\xE2\x80\xA6");
        link_.startHelper();
        return;
    }
    if (!trusted_) {
        askPermission();
        return;
    }
    readMenus();
}

void SheetController::onHelperStarted(bool running, const std::string& why) {
    if (phase_ != Phase::StartingHelper) {
        return;
    }
    if (!running) {
        fail("The KivoraData helper is not running and the session bus could not start it (" + why +
             "). " + kHowToStart);
        return;
    }
    helperRunning_ = true;
    askPermission();
}

void SheetController::askPermission() {
    phase_ = Phase::Permission;
    window_.setMessage("Checking the Accessibility permission\xE2\x80\xA6");
    link_.post(names::accessibilityStatus(), false);
    // The helper answers only once the permission is there; until then, say what to do.
    after(kPermissionHintMs, [this] {
        window_.setMessage(
            "Accessibility is off, so KivoraData cannot read other applications' menus. It has "
            "asked to turn toolkit accessibility on; if nothing changes, turn on assistive "
            "technologies in the desktop's accessibility settings (and restart the "
            "application you want to read). Waiting\xE2\x80\xA6",
            true);
    });
}

std::string SheetController::readingText() const {
    return "Reading " +
           (targetTitle_.empty() ? std::string("the last application") : targetTitle_) +
           "\xE2\x80\xA6";
}

void SheetController::readMenus() {
    phase_ = Phase::ReadingMenus;
    menusAsked_ = true;
    window_.setMessage(readingText());
    link_.post(names::getCurrentShortcut(), true);
    timing().requested = SheetTiming::Clock::now();
    after(kReplyTimeoutMs, [this] {
        fail(readingText() + " took longer than " + std::to_string(kReplyTimeoutMs / 1000) +
             " seconds: the application or the helper is not answering. Press Esc and try "
             "again later.");
    });
}

void SheetController::readSystem() {
    if (systemPending_) {
        return;
    }
    systemPending_ = true;
    window_.setMessage("Reading the system shortcuts\xE2\x80\xA6");
    systemList_.reset();
    systemPairs_.reset();
    link_.post(names::getSystemShortcut(), true);
    systemTimer_.disconnect();
    systemTimer_ = Glib::signal_timeout().connect(
        [this] {
            systemPending_ = false;
            window_.setMessage("The system shortcuts did not come within " +
                                   std::to_string(kReplyTimeoutMs / 1000) + " seconds.",
                               true);
            return false;
        },
        kReplyTimeoutMs);
}

void SheetController::fail(const std::string& message) {
    timer_.disconnect();
    phase_ = Phase::Failed;
    window_.setMessage(message, true);
}

void SheetController::diagnose(const std::string& name, const std::string& why) {
    if (diagnosed_.insert(name).second) {
        std::cerr << "kivora-sheet: ignored " << name << ": " << why << "\n";
    }
}

void SheetController::onNotification(const Notification& n) {
    if (n.name == names::accessibilityStatusResponse()) {
        const Value* enabled = entry(n, names::isEnabledKey());
        if (enabled == nullptr || !enabled->isBool()) {
            diagnose(n.name, "no boolean isEnabled");
        } else if (enabled->asBool() && phase_ == Phase::Permission) {
            trusted_ = true;
            readMenus();
        }
    } else if (n.name == names::getCurrentShortcutResponse() && isForUs(n)) {
        onMenus(n);
    } else if ((n.name == names::getSystemShortcutResponse() ||
                n.name == names::getKeyCodeAndFlagsArr()) &&
               isForUs(n)) {
        onSystemPart(n);
    }
}

void SheetController::onMenus(const Notification& reply) {
    // A reply after the timeout is still welcome: it replaces the message.
    if (phase_ != Phase::ReadingMenus && !(phase_ == Phase::Failed && menusAsked_)) {
        return;
    }
    const Value* list = entry(reply, names::currentShortcutKey());
    std::size_t skipped = 0;
    std::optional<Sheet> sheet = list != nullptr ? menuSheet(*list, skipped) : std::nullopt;
    if (!sheet) {
        diagnose(reply.name, "no currentShortcut array");
        return;  // keep waiting for the helper's own reply
    }
    if (skipped > 0) {
        diagnose(reply.name, std::to_string(skipped) + " entries of an unexpected kind");
    }
    timing().answered = SheetTiming::Clock::now();
    timer_.disconnect();
    phase_ = Phase::Shown;
    menusAsked_ = false;
    targetTitle_ = sheet->title;
    window_.setTitleText(sheet->title);
    window_.setMessage(sheet->itemCount() == 0
                           ? "No menu shortcuts: the last application has no menu bar that "
                             "KivoraData can read, or no shortcuts in it."
                           : "");
    window_.showSheet(View::Menus, std::move(*sheet));
    // Reading the menus brought the target to the front; the sheet goes back on top.
    window_.present();
    window_.whenPainted([] { timing().reportPainted(); });
    if (systemWanted_) {
        readSystem();
    }
}

void SheetController::onSystemPart(const Notification& reply) {
    if (!systemPending_) {
        return;
    }
    (reply.name == names::getSystemShortcutResponse() ? systemList_ : systemPairs_) = reply;
    if (!systemList_ || !systemPairs_) {
        return;
    }
    const Value* list = entry(*systemList_, names::systemShortcutKey());
    const Value* pairs = entry(*systemPairs_, names::keyCodeAndFlagsArrDataKey());
    std::size_t skipped = 0;
    std::optional<Sheet> sheet =
        list != nullptr && pairs != nullptr ? systemSheet(*list, *pairs, skipped) : std::nullopt;
    if (!sheet) {
        diagnose(reply.name, "the system shortcuts or their key codes are not arrays");
        systemList_.reset();
        systemPairs_.reset();
        return;
    }
    systemTimer_.disconnect();
    systemPending_ = false;
    window_.setMessage("");
    window_.showSheet(View::System, std::move(*sheet));
    // Reading them walks the target's menus, which may have brought it to the front.
    window_.present();
}

void SheetController::choose(View view, const Item& item) {
    std::string request;
    if (view == View::Menus) {
        request = names::currentClickedPrefix() + item.title;
    } else if (item.pair) {
        request = names::systemClickedPrefix() + "[\"" + std::to_string(item.pair->keyCode) +
                  "\",\"" + std::to_string(item.pair->flags) + "\"]";
    } else {
        window_.setMessage("The helper gave no key code for this shortcut.", true);
        return;
    }
    // The sheet goes first, so that the target is in front when the helper acts on it.
    window_.set_visible(false);
    timer_.disconnect();
    timer_ = Glib::signal_timeout().connect(
        [this, request] {
            link_.post(request, true);
            link_.flush();
            done_();
            return false;
        },
        view == View::Menus ? 0 : 150);
}

}  // namespace kivora::sheet
