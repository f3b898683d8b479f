#include "platform/linux/atspi/AtspiWorkspace.h"

#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/atspi/X11Session.h"

namespace kivora::linux_::atspi {
namespace {

constexpr const char* kFrontmostKeyPath = "frontmostApplication";
constexpr const char* kWindowEvents[] = {"window:activate", "window:deactivate"};
// The round trip that makes sure the bus daemon has passed on what it had: short, so that a
// stuck accessibility bus delays requests only a little.
constexpr std::uint64_t kCatchUpTimeoutUsec = 250'000;
// How long after its registration an application without a known active window is asked again,
// and how many such applications at most.
constexpr auto kRecentRegistration = std::chrono::seconds(3);
constexpr std::size_t kMaxRecentRegistrations = 16;

}  // namespace

bool AtspiRunningApplication::activateWithOptions(std::uint32_t) {
    if (terminated_ || x11_ == nullptr) {
        return false;
    }
    return x11_->activateProcess(info_.processIdentifier);
}

AtspiWorkspace::AtspiWorkspace(AtspiBus& bus, AtspiApplications& applications, X11Session* x11)
    : bus_(bus),
      applications_(applications),
      x11_(x11),
      probe_(bus, [this](const std::string& busName, std::uint64_t stamp) {
          activeAtRegistration(busName, stamp);
      }) {}

AtspiWorkspace::~AtspiWorkspace() {
    if (registered_ && bus_.isOpen()) {
        for (const char* event : kWindowEvents) {
            bus_.call(kRegistryName, "/org/a11y/atspi/registry", "org.a11y.atspi.Registry",
                      "DeregisterEvent",
                      [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", event); });
        }
    }
}

int AtspiWorkspace::start(sd_event* event) {
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_match_signal(bus_.bus(), &slot, nullptr, nullptr, "org.a11y.atspi.Event.Window",
                                nullptr, &onWindowEvent, this);
    windowSlot_.reset(slot);
    if (r < 0) {
        return r;
    }
    slot = nullptr;
    r = sd_bus_match_signal(bus_.bus(), &slot, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus", "NameOwnerChanged", &onNameOwnerChanged, this);
    nameOwnerSlot_.reset(slot);
    if (r < 0) {
        return r;
    }
    // The registry announces each application that registers as a new child of its root.
    slot = nullptr;
    r = sd_bus_match_signal(bus_.bus(), &slot, kRegistryName, kRootPath,
                            "org.a11y.atspi.Event.Object", "ChildrenChanged", &onRegistered, this);
    registrySlot_.reset(slot);
    if (r < 0) {
        return r;
    }
    sd_event_source* source = nullptr;
    r = sd_event_add_defer(event, &source, &onDeliver, this);
    deliverSource_.reset(source);
    if (r < 0) {
        return r;
    }
    sd_event_source_set_enabled(source, SD_EVENT_OFF);
    // Reported once the loop has nothing else to do: the window events that arrived together
    // (an application's activation and the deactivation right behind it) are all applied
    // first, so a state that lasted only between two of them is never reported.
    sd_event_source_set_priority(source, SD_EVENT_PRIORITY_IDLE);
    for (const char* name : kWindowEvents) {
        registerEvents(name);
    }
    findInitialFrontmost();
    return 0;
}

void AtspiWorkspace::registerEvents(const char* name) {
    CallResult result =
        bus_.call(kRegistryName, "/org/a11y/atspi/registry", "org.a11y.atspi.Registry",
                  "RegisterEvent", [&](sd_bus_message* m) {
                      // The event name alone: the form every registry version accepts.
                      return sd_bus_message_append(m, "s", name);
                  });
    registered_ = registered_ || result.ok();
}

void AtspiWorkspace::findInitialFrontmost() {
    for (const auto& busName : applications_.list()) {
        CallResult children = bus_.call(busName, kRootPath, kAccessibleInterface, "GetChildren");
        if (!children.ok() ||
            sd_bus_message_enter_container(children.reply.get(), 'a', "(so)") < 0) {
            continue;
        }
        const char* name = nullptr;
        const char* path = nullptr;
        while (sd_bus_message_read(children.reply.get(), "(so)", &name, &path) > 0) {
            CallResult state = bus_.call(name, path, kAccessibleInterface, "GetState");
            std::uint32_t low = 0;
            if (state.ok() && sd_bus_message_enter_container(state.reply.get(), 'a', "u") >= 0 &&
                sd_bus_message_read(state.reply.get(), "u", &low) > 0 &&
                ((low >> kStateActive) & 1U) != 0) {
                frontmost_ = application(busName);
                if (frontmost_) {
                    active_.push_back(frontmost_->processIdentifier());
                }
                return;
            }
        }
    }
}

std::shared_ptr<AtspiRunningApplication> AtspiWorkspace::application(const std::string& busName) {
    if (auto it = connections_.find(busName); it != connections_.end()) {
        return running_[it->second];
    }
    auto info = applications_.info(busName);
    if (!info) {
        return nullptr;
    }
    connections_[busName] = info->processIdentifier;
    auto& app = running_[info->processIdentifier];
    if (!app) {
        app = std::make_shared<AtspiRunningApplication>(*info, x11_);
    }
    return app;
}

void AtspiWorkspace::addObserver(std::string_view keyPath, KeyPathObserver observer) {
    if (keyPath == kFrontmostKeyPath) {
        observer_ = std::move(observer);
    }
}

void AtspiWorkspace::removeObserver(std::string_view keyPath) {
    if (keyPath == kFrontmostKeyPath) {
        observer_ = nullptr;
        if (deliverSource_) {
            sd_event_source_set_enabled(deliverSource_.get(), SD_EVENT_OFF);
        }
    }
}

void AtspiWorkspace::setFrontmost(std::shared_ptr<AtspiRunningApplication> application) {
    if (application == frontmost_) {
        return;
    }
    frontmost_ = std::move(application);
    // Reported from the loop after this callback, never from inside it.
    if (observer_ && deliverSource_) {
        deliveryPending_ = true;
        sd_event_source_set_enabled(deliverSource_.get(), SD_EVENT_ONESHOT);
    }
}

int AtspiWorkspace::onDeliver(sd_event_source*, void* userdata) {
    auto* self = static_cast<AtspiWorkspace*>(userdata);
    self->deliveryPending_ = false;
    if (self->observer_) {
        auto observer = self->observer_;  // the observer may remove itself
        observer(std::string(kFrontmostKeyPath));
    }
    return 0;
}

void AtspiWorkspace::updateFrontmost() {
    // With no active window left (focus went to a window without accessibility, or to the
    // desktop) the last application stays in front, as on a desktop where one always is.
    while (!active_.empty()) {
        if (auto it = running_.find(active_.back()); it != running_.end()) {
            setFrontmost(it->second);
            return;
        }
        active_.pop_back();  // gone meanwhile
    }
}

int AtspiWorkspace::onWindowEvent(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* self = static_cast<AtspiWorkspace*>(userdata);
    const char* sender = sd_bus_message_get_sender(message);
    const char* member = sd_bus_message_get_member(message);
    if (sender == nullptr || *sender == '\0' || member == nullptr) {
        return 0;
    }
    const std::string_view event(member);
    if (event != "Activate" && event != "Deactivate") {
        return 0;
    }
    auto app = self->application(sender);
    if (!app) {
        return 0;
    }
    const std::int32_t pid = app->processIdentifier();
    if (event == "Activate") {
        ++self->activations_;
        self->activated(pid);
        return 0;
    }
    std::erase(self->active_, pid);
    self->updateFrontmost();
    return 0;
}

void AtspiWorkspace::activated(std::int32_t pid) {
    std::erase(active_, pid);
    active_.push_back(pid);
    updateFrontmost();
}

int AtspiWorkspace::onRegistered(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* self = static_cast<AtspiWorkspace*>(userdata);
    const char* change = nullptr;
    std::int32_t index = 0;
    std::int32_t detail = 0;
    const char* busName = nullptr;
    const char* path = nullptr;
    if (sd_bus_message_read(message, "sii", &change, &index, &detail) < 0 || change == nullptr ||
        std::string_view(change) != "add" ||
        sd_bus_message_read(message, "v", "(so)", &busName, &path) < 0 || busName == nullptr ||
        *busName == '\0') {
        return 0;
    }
    self->probe_.probe(busName, self->activations_);
    if (self->recent_.size() < kMaxRecentRegistrations) {
        self->recent_.push_back({busName, self->activations_, std::chrono::steady_clock::now()});
    }
    return 0;
}

void AtspiWorkspace::probeRecentRegistrations() {
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(recent_, [&](const Registration& r) {
        return r.stamp != activations_ || now - r.at > kRecentRegistration;
    });
    if (recent_.empty()) {
        return;
    }
    for (const Registration& r : recent_) {
        probe_.probe(r.busName, r.stamp);
    }
    const auto deadline = now + std::chrono::microseconds(kCatchUpTimeoutUsec);
    while (probe_.busy() && bus_.isOpen()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        sd_bus_wait(bus_.bus(), static_cast<std::uint64_t>(left.count()));
        while (sd_bus_process(bus_.bus(), nullptr) > 0) {
        }
    }
}

void AtspiWorkspace::activeAtRegistration(const std::string& busName, std::uint64_t stamp) {
    if (stamp != activations_) {
        return;  // a later activation, of this application or another, says more
    }
    if (auto app = application(busName)) {
        activated(app->processIdentifier());
    }
}

void AtspiWorkspace::catchUp() {
    if (!bus_.isOpen()) {
        return;
    }
    // Events that the daemon routed before it answers are in our queue once it has.
    bus_.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId", {},
              kCatchUpTimeoutUsec);
    while (sd_bus_process(bus_.bus(), nullptr) > 0) {
    }
    probeRecentRegistrations();
    if (deliveryPending_ && deliverSource_) {
        sd_event_source_set_enabled(deliverSource_.get(), SD_EVENT_OFF);
        onDeliver(deliverSource_.get(), this);
    }
}

int AtspiWorkspace::onNameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* self = static_cast<AtspiWorkspace*>(userdata);
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0 || name == nullptr ||
        newOwner == nullptr || *newOwner != '\0') {
        return 0;
    }
    self->applications_.forget(name);
    auto connection = self->connections_.find(name);
    if (connection == self->connections_.end()) {
        return 0;
    }
    const std::int32_t pid = connection->second;
    self->connections_.erase(connection);
    for (const auto& [other, otherPid] : self->connections_) {
        if (otherPid == pid) {
            return 0;  // the process is still on the bus
        }
    }
    auto it = self->running_.find(pid);
    if (it == self->running_.end()) {
        return 0;
    }
    auto app = it->second;
    self->running_.erase(it);
    app->markTerminated();
    std::erase(self->active_, pid);
    if (app == self->frontmost_) {
        self->setFrontmost(nullptr);
        self->updateFrontmost();
    }
    return 0;
}

}  // namespace kivora::linux_::atspi
