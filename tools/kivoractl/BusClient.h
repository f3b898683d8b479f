#pragma once
// kivoractl's side of the session bus: is the helper there, post a request, collect replies
// until a deadline, call the simulated desktop.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messaging/Notification.h"
#include "platform/linux/SdHandles.h"

namespace kivoractl {

class BusClient {
public:
    // Connects to the session bus and watches the helper's bus name. Null, with `error`
    // set, when that fails.
    static std::unique_ptr<BusClient> connect(std::string& error);
    ~BusClient();
    BusClient(const BusClient&) = delete;
    BusClient& operator=(const BusClient&) = delete;

    // Whether some process owns the helper's bus name; none with `error` set on failure.
    std::optional<bool> helperRunning(std::string& error);

    // Collects every notification named `name` from now on. Returns once the bus has
    // installed the rule, so that a reply to a request posted afterwards is never missed.
    bool subscribe(const std::string& name, std::string& error);

    bool post(const std::string& name, const std::optional<std::string>& object,
              std::string& error);

    // Waits until the helper has handled everything sent so far: it handles messages in
    // arrival order, so its answer to a ping comes after them.
    bool barrier(double timeoutSeconds, std::string& error);

    enum class WaitOutcome { Done, TimedOut, HelperLeft, Failed };
    // Processes the bus until every name in `names` has arrived (first arrival kept in
    // received()), until the helper leaves the bus, or until `timeoutSeconds` have passed.
    WaitOutcome waitForReplies(const std::vector<std::string>& names, double timeoutSeconds,
                               std::string& error);
    // Processes the bus until the helper's name has no owner, or the timeout.
    WaitOutcome waitForHelperToLeave(double timeoutSeconds, std::string& error);

    const std::map<std::string, kivora::Notification>& received() const { return received_; }

    // Calls a method of the simulated desktop's control interface; `append` writes its
    // arguments (may be empty). The reply, for reading; null with `error` set on failure.
    using Appender = std::function<int(sd_bus_message*)>;
    kivora::linux_::MessagePtr callDesktop(const char* method, const Appender& append,
                                           double timeoutSeconds, std::string& error);

private:
    explicit BusClient(sd_bus* bus);
    static int onPost(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int onOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error* error);
    template <typename Done>
    WaitOutcome runUntil(Done done, double timeoutSeconds, std::string& error);

    kivora::linux_::BusConnection bus_;
    std::vector<kivora::linux_::SlotPtr> slots_;
    std::vector<std::string> subscribed_;
    std::map<std::string, kivora::Notification> received_;
    bool helperLeft_ = false;
};

}  // namespace kivoractl
