#pragma once
// Reads sent ahead: when the walker lists an element's children it goes on to read the same
// few attributes of each of them, so all of those calls go out at once and the walker then
// waits only for answers that have not come back yet, instead of one round trip per read.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/linux/atspi/AtspiBus.h"

namespace kivora::linux_::atspi {

class AtspiElement;

// The reads of one element that the walker makes.
enum class ElementRead { Children, Name, States, KeyBinding };

class ReadAhead {
public:
    explicit ReadAhead(AtspiBus& bus) : bus_(bus) {}
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Sends every read of `element` that has not been sent yet, each bounded by
    // `timeoutUsec`. Sends nothing once `kMaxPending` reads are held.
    void request(const AXUIElementRef& element, std::uint64_t timeoutUsec);
    // The answer to `read` of `element` when it was sent ahead, waiting for it within its
    // deadline; none when it was not sent or the wait cannot be made here (the caller then
    // reads it itself). The answer is handed out once.
    std::optional<CallResult> take(const AtspiElement& element, ElementRead read);
    // Drops every answer and cancels what is still outstanding.
    void clear();

    // The call that makes `read` of `element`, for reading it directly.
    CallResult call(const AtspiElement& element, ElementRead read, std::uint64_t timeoutUsec);

    static constexpr std::size_t kMaxPending = 16384;

private:
    struct Pending {
        SlotPtr slot;
        MessagePtr reply;
        std::chrono::steady_clock::time_point deadline;
    };
    using Key = std::pair<const AtspiElement*, ElementRead>;

    static int onReply(sd_bus_message* reply, void* userdata, sd_bus_error* error);
    bool send(const AtspiElement& element, ElementRead read, std::uint64_t timeoutUsec,
              Pending& pending);

    AtspiBus& bus_;
    std::map<Key, std::unique_ptr<Pending>> pending_;
    // Holds the elements whose reads are pending, so that their addresses stay theirs.
    std::vector<AXUIElementRef> held_;
};

}  // namespace kivora::linux_::atspi
