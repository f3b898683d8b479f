#pragma once
// The conversation behind the window: make sure the helper runs, wait for the Accessibility
// permission, read the target's shortcuts (and the system ones when asked for), and send the
// user's choice. Every wait is bounded by a timer of the main loop, never by blocking.

#include <sigc++/connection.h>

#include <functional>
#include <optional>
#include <set>
#include <string>

#include "sheet/HelperLink.h"
#include "sheet/SheetWindow.h"

namespace kivora::sheet {

class SheetController {
public:
    // `done` ends the program (after the window is closed).
    SheetController(HelperLink& link, SheetWindow& window, std::function<void()> done);
    ~SheetController();

    // Starts the conversation, or reads the target afresh when it has run before.
    void refresh();

    // How long a reply may take before the window says so.
    static constexpr unsigned kReplyTimeoutMs = 5000;
    // How long the permission check may go unanswered before the banner explains why.
    static constexpr unsigned kPermissionHintMs = 1000;

private:
    enum class Phase { Idle, StartingHelper, Permission, ReadingMenus, Shown, Failed };

    void onHelperStarted(bool running, const std::string& why);
    void onNotification(const Notification& notification);
    void askPermission();
    void readMenus();
    void readSystem();
    void onMenus(const Notification& reply);
    void onSystemPart(const Notification& reply);
    void choose(View view, const Item& item);
    void fail(const std::string& message);
    // Runs `then` after `ms` unless another wait replaces it first.
    void after(unsigned ms, std::function<void()> then);
    // One line on stderr per kind of malformed reply, however often it comes.
    void diagnose(const std::string& name, const std::string& why);
    std::string readingText() const;

    HelperLink& link_;
    SheetWindow& window_;
    std::function<void()> done_;
    Phase phase_ = Phase::Idle;
    bool helperRunning_ = false;
    bool trusted_ = false;
    bool menusAsked_ = false;  // a menu reply is due
    bool systemWanted_ = false;
    bool systemPending_ = false;
    std::optional<Notification> systemList_;
    std::optional<Notification> systemPairs_;
    std::string targetTitle_;
    sigc::connection timer_;
    sigc::connection systemTimer_;
    std::set<std::string> diagnosed_;
};

}  // namespace kivora::sheet
