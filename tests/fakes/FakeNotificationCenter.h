#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/NotificationCenter.h"
#include "platform/UnicodeString.h"

namespace kivora::fake {

// Records every post; deliver() hands a notification to the matching observers by the same
// filter rules as the real center.
class FakeNotificationCenter : public NotificationCenter {
public:
    struct Post {
        std::string name;
        std::optional<std::string> object;
        Dictionary userInfo;
        bool deliverImmediately = false;
    };

    void addObserver(Observer observer, std::optional<std::string> name,
                     std::optional<std::string> object) override {
        observers_.push_back({std::move(observer), std::move(name), std::move(object)});
    }
    void postNotification(const std::string& name, const std::optional<std::string>& object,
                          const Dictionary& userInfo, bool deliverImmediately) override {
        posts.push_back({name, object, userInfo, deliverImmediately});
    }

    // Returns how many observers it reached.
    int deliver(const std::string& name, const std::optional<std::string>& object = std::nullopt) {
        int reached = 0;
        // Index loop and a copy: an observer may subscribe more while we deliver.
        for (std::size_t i = 0; i < observers_.size(); ++i) {
            const Subscription s = observers_[i];
            if ((s.name && !canonicallyEqual(*s.name, name)) ||
                (s.object && (!object || !canonicallyEqual(*s.object, *object)))) {
                continue;
            }
            ++reached;
            s.observer(Notification{name, object, {}});
        }
        return reached;
    }

    std::vector<Post> posts;

private:
    struct Subscription {
        Observer observer;
        std::optional<std::string> name;
        std::optional<std::string> object;
    };
    std::vector<Subscription> observers_;
};

}  // namespace kivora::fake
