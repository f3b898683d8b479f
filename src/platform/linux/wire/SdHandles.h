#pragma once
// Owning handles over the libsystemd C objects, so that every early return releases them.

#include <memory>
#include <string>

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

namespace kivora::linux_ {

namespace detail {
struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_unref(bus); }
};
struct BusFlushCloseUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
struct EventUnref {
    void operator()(sd_event* event) const { sd_event_unref(event); }
};
struct EventSourceDisableUnref {
    // Disabling first means a source still referenced elsewhere (sd-event keeps one while it
    // dispatches) never fires again.
    void operator()(sd_event_source* source) const { sd_event_source_disable_unref(source); }
};
}  // namespace detail

// A reference to a bus connection that somebody else opened.
using BusRef = std::unique_ptr<sd_bus, detail::BusUnref>;
// The connection's owner: flushes what is queued, closes, and releases.
using BusConnection = std::unique_ptr<sd_bus, detail::BusFlushCloseUnref>;
using MessagePtr = std::unique_ptr<sd_bus_message, detail::MessageUnref>;
using SlotPtr = std::unique_ptr<sd_bus_slot, detail::SlotUnref>;
using EventPtr = std::unique_ptr<sd_event, detail::EventUnref>;
using EventSourcePtr = std::unique_ptr<sd_event_source, detail::EventSourceDisableUnref>;

inline BusRef refBus(sd_bus* bus) {
    return BusRef(sd_bus_ref(bus));
}
inline EventPtr refEvent(sd_event* event) {
    return EventPtr(sd_event_ref(event));
}
inline MessagePtr refMessage(sd_bus_message* message) {
    return MessagePtr(sd_bus_message_ref(message));
}

// An sd_bus_error that frees itself.
class BusError {
public:
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&error_); }

    sd_bus_error* get() { return &error_; }
    bool isSet() const { return sd_bus_error_is_set(&error_) != 0; }
    std::string name() const { return error_.name != nullptr ? error_.name : ""; }
    std::string message() const { return error_.message != nullptr ? error_.message : ""; }

private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

}  // namespace kivora::linux_
