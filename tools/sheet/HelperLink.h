#pragma once
// The sheet's side of the conversation with the helper, without ever blocking: requests go out
// at once, notifications and the answer to starting the helper come back through callbacks from
// the main loop.

#include <functional>
#include <memory>
#include <string>

#include "messaging/Notification.h"

namespace kivora::sheet {

class HelperLink {
public:
    virtual ~HelperLink() = default;

    // Every notification that another connection posts.
    std::function<void(const Notification&)> onNotification;
    // The helper is running (it was, or the bus started it): true; else false and why.
    std::function<void(bool running, const std::string& why)> onHelperStarted;

    // Asks the bus to start the helper by its name unless it runs already.
    virtual void startHelper() = 0;
    // Posts a request to the helper (its name as the object, when `toHelper`).
    virtual bool post(const std::string& name, bool toHelper) = 0;
    // Sends whatever is still queued, before the program ends.
    virtual void flush() = 0;
};

// The link over the session bus, its connection served by the GLib main loop. Null, with
// `error` set, when there is no session bus.
std::unique_ptr<HelperLink> connectToHelper(std::string& error);

}  // namespace kivora::sheet
