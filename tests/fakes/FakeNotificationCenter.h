#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/NotificationCenter.h"

namespace kivora::fake {

// Records every subscription and post; deliver() hands a notification to the matching
// observers by the same filter rules as the real center.
class FakeNotificationCenter : public NotificationCenter {
public:
    struct Subscription {
        std::optional<std::string> name;
        std::optional<std::string> object;
    };
    struct Post {
        std::string name;
        std::optional<std::string> object;
        Dictionary userInfo;
        bool deliverImmediately = false;
    };

    void addObserver(Observer observer, std::optional<std::string> name,
                     std::optional<std::string> object) override;
    void postNotification(const std::string& name, const std::optional<std::string>& object,
                          const Dictionary& userInfo, bool deliverImmediately) override;

    // Returns how many observers it reached.
    int deliver(const Notification& notification);
    int deliver(const std::string& name, const std::optional<std::string>& object = std::nullopt) {
        return deliver(Notification{name, object, {}});
    }

    std::vector<Subscription> subscriptions;
    std::vector<Post> posts;

private:
    std::vector<Observer> observers_;
};

}  // namespace kivora::fake
