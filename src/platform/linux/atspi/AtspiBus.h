#pragma once
// The accessibility bus: its address from the session bus, a connection attached to the
// helper's event loop, and synchronous method calls with a deadline.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include "platform/Accessibility.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_::atspi {

inline constexpr const char* kRegistryName = "org.a11y.atspi.Registry";
inline constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
inline constexpr const char* kAccessibleInterface = "org.a11y.atspi.Accessible";
inline constexpr std::uint64_t kDefaultTimeoutUsec = 1'000'000;

// The outcome of one call: the reply, or the AXError that the failure maps to.
struct CallResult {
    AXError error = kAXErrorSuccess;
    MessagePtr reply;
    std::string errorName;  // the D-Bus error name, for diagnostics
    bool ok() const { return error == kAXErrorSuccess; }
};

class AtspiBus {
public:
    // Asks the session bus for the accessibility bus address (org.a11y.Bus.GetAddress) and
    // connects to it, attached to `event`. Null with `error` set on failure.
    static std::unique_ptr<AtspiBus> open(sd_event* event, sd_bus* sessionBus, std::string& error);
    // The address alone; empty with `error` set when the session has no accessibility bus.
    static std::string address(sd_bus* sessionBus, std::string& error);

    sd_bus* bus() const { return bus_.get(); }
    bool isOpen() const { return sd_bus_is_open(bus_.get()) > 0; }

    using Append = std::function<int(sd_bus_message*)>;
    // Calls `member` and waits at most `timeoutUsec`. A timeout or a lost bus answers
    // kAXErrorCannotComplete; an object or peer that is gone kAXErrorInvalidUIElement; an
    // unknown method, interface or property kAXErrorNoValue; anything else kAXErrorFailure.
    CallResult call(const std::string& destination, const std::string& path, const char* interface,
                    const char* member, const Append& append = {},
                    std::uint64_t timeoutUsec = kDefaultTimeoutUsec);
    // The same on the session bus (org.a11y.Status and friends).
    CallResult callSession(const char* destination, const char* path, const char* interface,
                           const char* member, const Append& append = {},
                           std::uint64_t timeoutUsec = kDefaultTimeoutUsec);
    // Properties.Get of one property.
    CallResult getProperty(const std::string& destination, const std::string& path,
                           const char* interface, const char* property,
                           std::uint64_t timeoutUsec = kDefaultTimeoutUsec);

    // Sends the call without waiting: `callback` gets the reply, or the error reply that
    // sd-bus makes up when `timeoutUsec` passes or the bus is lost. Negative errno when it
    // cannot be sent (an invalid destination or path: -EINVAL).
    int callAsync(const std::string& destination, const std::string& path, const char* interface,
                  const char* member, const Append& append, std::uint64_t timeoutUsec,
                  sd_bus_message_handler_t callback, void* userdata, SlotPtr& slot);

    // Method calls made so far (for measurements).
    std::uint64_t callCount() const { return calls_; }
    // Times the helper waited for an answer (each direct call, each answer sent ahead that
    // was not in yet), for measurements.
    std::uint64_t waitCount() const { return waits_; }
    void countWait() { ++waits_; }

private:
    AtspiBus(BusRef session, BusConnection bus)
        : session_(std::move(session)), bus_(std::move(bus)) {}

    BusRef session_;
    BusConnection bus_;
    std::uint64_t calls_ = 0;
    std::uint64_t waits_ = 0;
};

// One method call on `bus`, with the same mapping of failures as AtspiBus::call.
CallResult callMethod(sd_bus* bus, const char* destination, const char* path, const char* interface,
                      const char* member, const AtspiBus::Append& append,
                      std::uint64_t timeoutUsec);

// The outcome carried by a reply: itself, or the error it is.
CallResult resultOfReply(sd_bus_message* reply);

// Maps a failed call (negative errno and D-Bus error name) to an AXError.
AXError axErrorForCall(int result, const std::string& errorName);

}  // namespace kivora::linux_::atspi
