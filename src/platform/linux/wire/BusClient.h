#pragma once
// The one client of the helper on the bus, for kivoractl, the tests and the benchmarks: it
// posts requests, collects the notifications it subscribed to, waits for them with a
// deadline, and calls the simulated desktop's control object. It has no thread: every call
// processes what has arrived, and every wait is bounded. A failure returns false or none,
// and lastError() says why in one line.

#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messaging/Notification.h"
#include "platform/EventTap.h"
#include "platform/linux/wire/Names.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_::wire {

using Clock = std::chrono::steady_clock;
using Duration = std::chrono::milliseconds;

class BusClient {
public:
    // The session bus when `address` is empty, else the bus at `address`. Null, with
    // `error` set, on failure.
    static std::unique_ptr<BusClient> connect(const std::string& address, std::string& error);
    ~BusClient();
    BusClient(const BusClient&) = delete;
    BusClient& operator=(const BusClient&) = delete;

    sd_bus* bus() const { return bus_.get(); }
    const std::string& uniqueName() const { return uniqueName_; }
    const std::string& lastError() const { return error_; }
    // The bound of every method call (desktop calls, name queries).
    void setCallTimeout(Duration timeout) { callTimeout_ = timeout; }
    Duration callTimeout() const { return callTimeout_; }

    // --- Notifications -----------------------------------------------------------------
    struct Subscription {
        std::optional<std::string> name;  // every Post when none
        bool helperOnly = false;          // the bus then does not even send us the rest
        bool decode = true;               // false: only count arrivals (cheap)
    };
    // Collects the Posts of other connections that match; returns once the bus has the
    // rule, so a reply to a request posted afterwards is never missed.
    bool subscribe(const Subscription& subscription);
    // Posts in the wire format and flushes.
    bool post(const std::string& name, const std::optional<std::string>& object = std::nullopt,
              const Dictionary& userInfo = {});
    // Posts a Post signal with any body, for malformed traffic. `args` are what
    // sd_bus_message_append takes for `signature`.
    template <typename... Args>
    bool postRaw(const char* signature, Args... args) {
        MessagePtr message = newPost();
        int r = message ? 0 : -ENOMEM;
        if constexpr (sizeof...(Args) > 0) {
            if (message) {
                r = sd_bus_message_append(message.get(), signature, args...);
            }
        }
        return send(message.get(), r);
    }

    // The oldest notification named `name` that no earlier waitFor returned; none at the
    // timeout.
    std::optional<Notification> waitFor(std::string_view name, Duration timeout);
    enum class WaitOutcome { Done, TimedOut, OwnerLeft, Failed };
    // Waits until each of `names` has arrived at least once (see first()), the helper
    // leaves the bus (when watched), or the timeout.
    WaitOutcome waitForAll(const std::vector<std::string>& names, Duration timeout);
    // Waits until `count(name)` reaches `wanted`.
    bool waitForCount(const std::string& name, std::uint64_t wanted, Clock::time_point deadline);
    // The first decoded notification named `name`, or null.
    const Notification* first(std::string_view name) const;
    // Arrivals of `name` so far, decoded or only counted.
    std::uint64_t count(std::string_view name);
    // Every decoded notification so far, oldest first.
    const std::vector<Notification>& received();
    void clear();

    // --- Names -------------------------------------------------------------------------
    // Returns once `destination` has handled everything sent before: the helper handles
    // messages in arrival order, so its answer to a ping comes after them.
    bool ping(const std::string& destination, Duration timeout);
    std::optional<bool> nameHasOwner(const std::string& name);
    std::optional<pid_t> nameOwnerPid(const std::string& name);
    bool waitForName(const std::string& name, bool owned, Duration timeout);
    // Asks the bus to start the helper through its service file, and waits for the answer.
    bool startHelper(Duration timeout);
    // Watches the owner of `name` (one name per client) from now on: whether it left, and
    // when it got an owner. Waits then also end when the owner leaves.
    bool watchOwner(const std::string& name);
    WaitOutcome waitForOwnerToLeave(Duration timeout);
    bool waitForOwner(Clock::time_point deadline);
    std::optional<Clock::time_point> ownedAt() const { return ownedAt_; }
    void forgetOwner() { ownedAt_.reset(); }

    // --- Simulated desktop -------------------------------------------------------------
    bool activate(const std::string& bundleIdentifier);
    bool activateProcess(std::int32_t processIdentifier);
    bool quit(const std::string& bundleIdentifier);
    bool setTrusted(bool trusted);
    std::optional<std::vector<std::string>> pressedItems();
    std::optional<std::vector<KeyboardEvent>> keyEvents();
    std::optional<std::uint32_t> promptCount();

protected:
    // Opens the bus as connect() does; null with `error` set on failure.
    static sd_bus* open(const std::string& address, std::string& error);
    // Takes over a started connection.
    explicit BusClient(sd_bus* bus);

private:
    static int onPost(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error* error);
    MessagePtr newPost();
    bool send(sd_bus_message* message, int buildResult);
    bool fail(std::string message);
    // A method call; null with lastError() set on failure. `append` may be null.
    template <typename Append>
    MessagePtr call(const char* destination, const char* path, const char* interface,
                    const char* member, Append append, Duration timeout);
    template <typename... Args>
    MessagePtr callDesktop(const char* method, const char* signature, Args... args);
    // Processes the bus until `done()`, the deadline, or (when watched) the helper leaving.
    template <typename Done>
    WaitOutcome runUntil(Done done, Clock::time_point deadline);

    struct Match {
        BusClient* client;
        bool decode;
        SlotPtr slot;
    };
    BusConnection bus_;
    std::string uniqueName_;
    std::string error_;
    Duration callTimeout_{10000};
    std::vector<std::unique_ptr<Match>> matches_;
    SlotPtr ownerMatch_;
    std::vector<Notification> received_;
    std::vector<bool> consumed_;
    std::map<std::string, std::uint64_t, std::less<>> arrivals_;
    bool ownerLeft_ = false;
    std::optional<Clock::time_point> ownedAt_;
};

}  // namespace kivora::linux_::wire
