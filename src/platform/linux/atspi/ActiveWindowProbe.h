#pragma once
// Asks an application that has just registered on the accessibility bus, without waiting for
// it, whether one of its windows is active: a window that was activated before its
// application registered (or knew that anybody listens) is never announced.

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/atspi/AtspiBus.h"

namespace kivora::linux_::atspi {

class ActiveWindowProbe {
public:
    // `stamp` is the one given to probe(), to tell whether anything happened since.
    using Found = std::function<void(const std::string& busName, std::uint64_t stamp)>;
    ActiveWindowProbe(AtspiBus& bus, Found found) : bus_(bus), found_(std::move(found)) {}

    // Reads the states of the windows of the application on `busName`; `found` is called
    // (from the bus's dispatch) when one of them is active.
    void probe(const std::string& busName, std::uint64_t stamp);
    // Whether an answer is still awaited.
    bool busy() const;

private:
    struct Probe {
        ActiveWindowProbe* owner;
        std::string busName;
        std::uint64_t stamp = 0;
        std::vector<SlotPtr> slots;
        int outstanding = 0;
        bool found = false;
    };
    static int onWindows(sd_bus_message* reply, void* userdata, sd_bus_error* error);
    static int onState(sd_bus_message* reply, void* userdata, sd_bus_error* error);
    bool send(Probe& probe, const std::string& busName, const char* path, const char* member,
              sd_bus_message_handler_t handler);

    AtspiBus& bus_;
    Found found_;
    std::list<std::unique_ptr<Probe>> probes_;
};

}  // namespace kivora::linux_::atspi
