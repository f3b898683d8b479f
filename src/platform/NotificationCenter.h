#pragma once
// Port: the system-wide distributed notification center.

#include <functional>
#include <optional>
#include <string>

#include "messaging/Notification.h"
#include "messaging/ShortcutList.h"

namespace kivora {

class NotificationCenter {
public:
    using Observer = std::function<void(const Notification&)>;

    virtual ~NotificationCenter() = default;

    // Subscribes `observer`. A notification reaches it when `name` is unset or canonically
    // equal to the notification's name, and `object` is unset or canonically equal to the
    // notification's object (a notification without an object never matches an object
    // filter). Observers of one notification run in the order they were added, one at a time,
    // on the run loop's thread. Subscriptions live as long as the center.
    virtual void addObserver(Observer observer, std::optional<std::string> name,
                             std::optional<std::string> object) = 0;

    // Broadcasts a notification to every subscriber on the system. Returns at once; whether
    // anybody received it is never known. A post that cannot be sent is reported by the
    // adapter as a diagnostic, not to the caller.
    virtual void postNotification(const std::string& name, const std::optional<std::string>& object,
                                  const Dictionary& userInfo, bool deliverImmediately) = 0;

    // Posts a notification whose user info is {key: list}. The same as postNotification with
    // the list's property-list form; an adapter may write the list to the wire directly.
    virtual void postShortcutList(const std::string& name, const std::optional<std::string>& object,
                                  const std::string& key, const ShortcutList& list,
                                  bool deliverImmediately) {
        Dictionary userInfo;
        userInfo.emplace(key, toArray(list));
        postNotification(name, object, userInfo, deliverImmediately);
    }
};

}  // namespace kivora
