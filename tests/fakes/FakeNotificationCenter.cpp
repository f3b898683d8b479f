#include "fakes/FakeNotificationCenter.h"

#include "platform/UnicodeString.h"

namespace kivora::fake {

void FakeNotificationCenter::addObserver(Observer observer, std::optional<std::string> name,
                                         std::optional<std::string> object) {
    subscriptions.push_back({std::move(name), std::move(object)});
    observers_.push_back(std::move(observer));
}

void FakeNotificationCenter::postNotification(const std::string& name,
                                              const std::optional<std::string>& object,
                                              const Dictionary& userInfo,
                                              bool deliverImmediately) {
    posts.push_back({name, object, userInfo, deliverImmediately});
}

int FakeNotificationCenter::deliver(const Notification& notification) {
    int reached = 0;
    // Index loop: an observer may subscribe more while we deliver.
    for (std::size_t i = 0; i < observers_.size(); ++i) {
        const auto& filter = subscriptions[i];
        if (filter.name && !canonicallyEqual(*filter.name, notification.name)) {
            continue;
        }
        if (filter.object &&
            (!notification.object || !canonicallyEqual(*filter.object, *notification.object))) {
            continue;
        }
        ++reached;
        auto observer = observers_[i];  // the vector may grow during the call
        observer(notification);
    }
    return reached;
}

}  // namespace kivora::fake
