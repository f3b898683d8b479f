#pragma once
// A connection to a private bus that plays the main application: it posts requests, collects
// every notification posted by others, and calls the simulated desktop's control interface.
// It has no thread: every call processes what has arrived, and every wait is bounded.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/support/Timeouts.h"
#include "messaging/Notification.h"
#include "platform/EventTap.h"
#include "platform/linux/SdHandles.h"

namespace kivora::e2e {

class PrivateBus;

inline constexpr const char* kHelperBusName = "org.morvane.Kivora.KivoraData";
inline constexpr const char* kHelperObject = "org.morvane.Kivora.KivoraData";
inline constexpr const char* kMainAppObject = "org.morvane.Kivora";
inline constexpr const char* kDesktopPath = "/org/morvane/Kivora/KivoraData/Desktop";
inline constexpr const char* kDesktopInterface = "org.morvane.Kivora.SimulatedDesktop";

class BusClient {
  public:
    // Whose notifications are collected: everybody's but our own, or the helper's alone (the
    // bus then does not even send us the rest, which matters when we post a flood).
    enum class Collect { fromOthers, fromHelperOnly };

    // Connects and starts collecting notifications. Throws std::runtime_error on failure.
    explicit BusClient(const PrivateBus& bus, Collect collect = Collect::fromOthers);
    explicit BusClient(const std::string& address, Collect collect = Collect::fromOthers);
    ~BusClient();
    BusClient(const BusClient&) = delete;
    BusClient& operator=(const BusClient&) = delete;

    sd_bus* bus() const { return bus_.get(); }
    const std::string& uniqueName() const { return uniqueName_; }

    // --- Notifications -------------------------------------------------------------------
    // Posts in the wire format and flushes. A failure is a test failure (false).
    bool post(const std::string& name, const std::optional<std::string>& object = std::nullopt,
              const Dictionary& userInfo = {});
    // Posts a Post signal with any body, for malformed traffic. `args` are what
    // sd_bus_message_append takes for `signature` (C strings, ints, counts of arrays).
    template <typename... Args>
    bool postRaw(const char* signature, Args... args) {
        linux_::MessagePtr message = newPost();
        if (!message) {
            return false;
        }
        int r = 0;
        if constexpr (sizeof...(Args) > 0) {
            r = sd_bus_message_append(message.get(), signature, args...);
        }
        return send(std::move(message), r);
    }

    // The oldest notification named `name` (exactly) that no earlier waitFor returned, posted
    // by another connection; none at the timeout.
    std::optional<Notification> waitFor(std::string_view name, Duration timeout = kDefaultTimeout);
    // How many notifications named `name` have arrived so far (consumed or not).
    std::size_t count(std::string_view name);
    // Every notification that arrived so far, oldest first.
    const std::vector<Notification>& received();
    // Forgets everything received so far.
    void clear();

    // Returns once `destination` has handled every message this client sent before: the
    // helper handles messages in arrival order, so its answer to a ping comes after them.
    bool ping(const std::string& destination = kHelperBusName, Duration timeout = kDefaultTimeout);

    // --- Bus names ------------------------------------------------------------------------
    // The process that owns `name`, or none.
    std::optional<pid_t> nameOwnerPid(const std::string& name);
    // Waits until `name` has an owner (or, with owned false, has none).
    bool waitForName(const std::string& name, bool owned = true,
                     Duration timeout = kDefaultTimeout);

    // --- Simulated desktop ----------------------------------------------------------------
    struct CallResult {
        linux_::MessagePtr reply;  // set on success, for reading
        std::string errorName;     // the D-Bus error otherwise
        std::string errorMessage;
        bool ok() const { return static_cast<bool>(reply); }
    };
    // Calls `method` on the helper's desktop control interface and waits for the reply (a
    // barrier: the helper has seen the change before it handles anything sent later).
    template <typename... Args>
    CallResult callDesktop(const char* method, const char* signature = "", Args... args) {
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_method_call(bus(), &raw, kHelperBusName, kDesktopPath,
                                               kDesktopInterface, method);
        linux_::MessagePtr message(raw);
        if constexpr (sizeof...(Args) > 0) {
            if (r >= 0) {
                r = sd_bus_message_append(raw, signature, args...);
            }
        }
        return call(std::move(message), r);
    }
    // The control methods; a D-Bus error is a test failure (false, or an empty result).
    bool activate(const std::string& bundleIdentifier);
    bool activateProcess(std::int32_t processIdentifier);
    bool quit(const std::string& bundleIdentifier);
    bool setTrusted(bool trusted);
    std::vector<std::string> pressedItems();
    std::vector<KeyboardEvent> keyEvents();
    std::uint32_t promptCount();

  private:
    static int onPost(sd_bus_message* message, void* userdata, sd_bus_error* error);
    linux_::MessagePtr newPost();
    bool send(linux_::MessagePtr message, int appendResult);
    CallResult call(linux_::MessagePtr message, int buildResult,
                    Duration timeout = kDefaultTimeout);
    bool expectOk(const CallResult& result, const char* method);
    // Processes what has arrived, waiting at most until `deadline` for something to arrive.
    // False when the connection is gone.
    bool pumpUntil(Clock::time_point deadline);

    linux_::BusConnection bus_;
    linux_::SlotPtr match_;
    std::string uniqueName_;
    std::vector<Notification> received_;
    std::vector<bool> consumed_;
};

}  // namespace kivora::e2e
