#include "platform/linux/atspi/ReadAhead.h"

#include "platform/linux/atspi/AtspiAccessibility.h"

namespace kivora::linux_::atspi {
namespace {

using Clock = std::chrono::steady_clock;

constexpr ElementRead kReads[] = {ElementRead::Children, ElementRead::Name, ElementRead::States,
                                  ElementRead::KeyBinding};
// sd-bus answers a call that outlived its timeout itself; this margin only guards against a
// wait that would otherwise never end.
constexpr auto kDeadlineMargin = std::chrono::milliseconds(100);

struct Method {
    const char* interface;
    const char* member;
    AtspiBus::Append append;
};

Method methodFor(ElementRead read) {
    switch (read) {
        case ElementRead::Children:
            return {kAccessibleInterface, "GetChildren", {}};
        case ElementRead::Name:
            // Never Properties.GetAll: some toolkits crash on it.
            return {"org.freedesktop.DBus.Properties", "Get", [](sd_bus_message* m) {
                        return sd_bus_message_append(m, "ss", kAccessibleInterface, "Name");
                    }};
        case ElementRead::States:
            return {kAccessibleInterface, "GetState", {}};
        case ElementRead::KeyBinding:
            // Always index 0: a disabled GTK item lists no actions, yet still answers it.
            return {"org.a11y.atspi.Action", "GetKeyBinding",
                    [](sd_bus_message* m) { return sd_bus_message_append(m, "i", 0); }};
    }
    return {kAccessibleInterface, "GetChildren", {}};
}

}  // namespace

CallResult ReadAhead::call(const AtspiElement& element, ElementRead read,
                           std::uint64_t timeoutUsec) {
    const Method method = methodFor(read);
    return bus_.call(element.busName, element.path, method.interface, method.member, method.append,
                     timeoutUsec);
}

bool ReadAhead::send(const AtspiElement& element, ElementRead read, std::uint64_t timeoutUsec,
                     Pending& pending) {
    const Method method = methodFor(read);
    pending.deadline = Clock::now() + std::chrono::microseconds(timeoutUsec) + kDeadlineMargin;
    return bus_.callAsync(element.busName, element.path, method.interface, method.member,
                          method.append, timeoutUsec, &onReply, &pending, pending.slot) >= 0;
}

void ReadAhead::request(const AXUIElementRef& handle, std::uint64_t timeoutUsec) {
    const auto* element = dynamic_cast<const AtspiElement*>(handle.get());
    if (element == nullptr || pending_.size() + std::size(kReads) > kMaxPending) {
        return;
    }
    bool sent = false;
    for (ElementRead read : kReads) {
        auto& entry = pending_[{element, read}];
        if (entry) {
            continue;
        }
        entry = std::make_unique<Pending>();
        if (!send(*element, read, timeoutUsec, *entry)) {
            pending_.erase({element, read});  // read directly when asked
            continue;
        }
        sent = true;
    }
    if (sent) {
        held_.push_back(handle);
    }
}

int ReadAhead::onReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* pending = static_cast<Pending*>(userdata);
    pending->reply = refMessage(reply);
    return 0;
}

std::optional<CallResult> ReadAhead::take(const AtspiElement& element, ElementRead read) {
    auto it = pending_.find({&element, read});
    if (it == pending_.end()) {
        return std::nullopt;
    }
    Pending& pending = *it->second;
    sd_bus* bus = bus_.bus();
    if (!pending.reply) {
        // Answers already read off the connection need no wait.
        while (!pending.reply && sd_bus_process(bus, nullptr) > 0) {
        }
        if (!pending.reply) {
            bus_.countWait();
        }
    }
    while (!pending.reply) {
        // Other answers, and window events, are taken in on the way.
        int r = sd_bus_process(bus, nullptr);
        if (r > 0) {
            continue;
        }
        const auto now = Clock::now();
        if (r < 0 || now >= pending.deadline) {
            break;  // processing is not possible here (inside a callback of this bus) or lost
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(pending.deadline - now);
        if (sd_bus_wait(bus, static_cast<std::uint64_t>(left.count())) < 0) {
            break;
        }
    }
    std::optional<CallResult> result;
    if (pending.reply) {
        result = resultOfReply(pending.reply.get());
    }
    pending_.erase(it);
    return result;
}

void ReadAhead::clear() {
    pending_.clear();
    held_.clear();
}

}  // namespace kivora::linux_::atspi
