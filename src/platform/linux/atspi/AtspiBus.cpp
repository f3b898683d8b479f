#include "platform/linux/atspi/AtspiBus.h"

#include <cerrno>
#include <cstring>

#include "platform/linux/Errno.h"

namespace kivora::linux_::atspi {
namespace {
constexpr std::uint64_t kAddressTimeoutUsec = 5'000'000;
}  // namespace

AXError axErrorForCall(int result, const std::string& errorName) {
    if (errorName == "org.freedesktop.DBus.Error.UnknownObject" ||
        errorName == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        errorName == "org.freedesktop.DBus.Error.NameHasNoOwner") {
        return kAXErrorInvalidUIElement;
    }
    if (errorName == "org.freedesktop.DBus.Error.UnknownMethod" ||
        errorName == "org.freedesktop.DBus.Error.UnknownInterface" ||
        errorName == "org.freedesktop.DBus.Error.UnknownProperty" ||
        errorName == "org.freedesktop.DBus.Error.InvalidArgs") {
        return kAXErrorNoValue;
    }
    if (errorName == "org.freedesktop.DBus.Error.NoReply" ||
        errorName == "org.freedesktop.DBus.Error.Timeout" || result == -ETIMEDOUT ||
        result == -ENOTCONN || result == -ECONNRESET || result == -EPIPE) {
        return kAXErrorCannotComplete;
    }
    return kAXErrorFailure;
}

std::string AtspiBus::address(sd_bus* sessionBus, std::string& error) {
    // The launcher may be started on demand by the bus; give it a few seconds, not forever.
    CallResult result = callMethod(sessionBus, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                   "GetAddress", {}, kAddressTimeoutUsec);
    if (!result.ok()) {
        error = "no accessibility bus in this session (org.a11y.Bus.GetAddress: " +
                (result.errorName.empty() ? std::string("no answer") : result.errorName) + ")";
        return {};
    }
    const char* address = nullptr;
    int r = sd_bus_message_read(result.reply.get(), "s", &address);
    if (r < 0 || address == nullptr || *address == '\0') {
        error = "the accessibility bus address is empty";
        return {};
    }
    return address;
}

std::unique_ptr<AtspiBus> AtspiBus::open(sd_event* event, sd_bus* sessionBus, std::string& error) {
    const std::string addr = address(sessionBus, error);
    if (addr.empty()) {
        return nullptr;
    }
    sd_bus* raw = nullptr;
    int r = sd_bus_new(&raw);
    BusConnection bus(raw);
    if (r >= 0) {
        r = sd_bus_set_address(bus.get(), addr.c_str());
    }
    if (r >= 0) {
        r = sd_bus_set_bus_client(bus.get(), 1);
    }
    if (r >= 0) {
        r = sd_bus_start(bus.get());
    }
    if (r >= 0 && event != nullptr) {
        r = sd_bus_attach_event(bus.get(), event, SD_EVENT_PRIORITY_NORMAL);
    }
    if (r < 0) {
        error = "cannot connect to the accessibility bus at " + addr + ": " + errnoText(r);
        return nullptr;
    }
    return std::unique_ptr<AtspiBus>(new AtspiBus(refBus(sessionBus), std::move(bus)));
}

CallResult callMethod(sd_bus* bus, const char* destination, const char* path, const char* interface,
                      const char* member, const AtspiBus::Append& append,
                      std::uint64_t timeoutUsec) {
    CallResult result;
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus, &raw, destination, path, interface, member);
    MessagePtr message(raw);
    if (r >= 0 && append) {
        r = append(message.get());
    }
    if (r < 0) {
        result.error = axErrorForCall(r, {});
        return result;
    }
    BusError err;
    raw = nullptr;
    r = sd_bus_call(bus, message.get(), timeoutUsec, err.get(), &raw);
    result.reply.reset(raw);
    if (r < 0) {
        result.errorName = err.name();
        result.error = axErrorForCall(r, result.errorName);
        result.reply.reset();
    }
    return result;
}

CallResult AtspiBus::call(const std::string& destination, const std::string& path,
                          const char* interface, const char* member, const Append& append,
                          std::uint64_t timeoutUsec) {
    if (destination.empty() || sd_bus_object_path_is_valid(path.c_str()) == 0 ||
        sd_bus_service_name_is_valid(destination.c_str()) == 0) {
        CallResult result;
        result.error = kAXErrorInvalidUIElement;
        return result;
    }
    ++calls_;
    ++waits_;
    return callMethod(bus_.get(), destination.c_str(), path.c_str(), interface, member, append,
                      timeoutUsec);
}

int AtspiBus::callAsync(const std::string& destination, const std::string& path,
                        const char* interface, const char* member, const Append& append,
                        std::uint64_t timeoutUsec, sd_bus_message_handler_t callback,
                        void* userdata, SlotPtr& slot) {
    if (destination.empty() || sd_bus_object_path_is_valid(path.c_str()) == 0 ||
        sd_bus_service_name_is_valid(destination.c_str()) == 0) {
        return -EINVAL;
    }
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus_.get(), &raw, destination.c_str(), path.c_str(),
                                           interface, member);
    MessagePtr message(raw);
    if (r >= 0 && append) {
        r = append(message.get());
    }
    sd_bus_slot* rawSlot = nullptr;
    if (r >= 0) {
        r = sd_bus_call_async(bus_.get(), &rawSlot, message.get(), callback, userdata, timeoutUsec);
    }
    slot.reset(rawSlot);
    if (r >= 0) {
        ++calls_;
    }
    return r;
}

CallResult resultOfReply(sd_bus_message* reply) {
    CallResult result;
    result.reply = refMessage(reply);
    if (sd_bus_message_is_method_error(reply, nullptr) > 0) {
        const sd_bus_error* error = sd_bus_message_get_error(reply);
        result.errorName = error != nullptr && error->name != nullptr ? error->name : "";
        result.error = axErrorForCall(-sd_bus_message_get_errno(reply), result.errorName);
        result.reply.reset();
    }
    return result;
}

CallResult AtspiBus::callSession(const char* destination, const char* path, const char* interface,
                                 const char* member, const Append& append,
                                 std::uint64_t timeoutUsec) {
    return callMethod(session_.get(), destination, path, interface, member, append, timeoutUsec);
}

CallResult AtspiBus::getProperty(const std::string& destination, const std::string& path,
                                 const char* interface, const char* property,
                                 std::uint64_t timeoutUsec) {
    CallResult result = call(
        destination, path, "org.freedesktop.DBus.Properties", "Get",
        [&](sd_bus_message* m) { return sd_bus_message_append(m, "ss", interface, property); },
        timeoutUsec);
    return result;
}

}  // namespace kivora::linux_::atspi
