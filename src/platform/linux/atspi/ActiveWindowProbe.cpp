#include "platform/linux/atspi/ActiveWindowProbe.h"

#include "platform/linux/atspi/AtspiAccessibility.h"

namespace kivora::linux_::atspi {
namespace {
// An application at most has this many windows asked about.
constexpr int kMaxWindows = 64;
}  // namespace

bool ActiveWindowProbe::send(Probe& probe, const std::string& busName, const char* path,
                             const char* member, sd_bus_message_handler_t handler) {
    SlotPtr slot;
    if (bus_.callAsync(busName, path, kAccessibleInterface, member, {}, kDefaultTimeoutUsec,
                       handler, &probe, slot) < 0) {
        return false;
    }
    probe.slots.push_back(std::move(slot));
    ++probe.outstanding;
    return true;
}

void ActiveWindowProbe::probe(const std::string& busName, std::uint64_t stamp) {
    // Probes whose answers have all come are done with.
    probes_.remove_if([](const auto& p) { return p->outstanding == 0; });
    auto probe = std::make_unique<Probe>();
    probe->owner = this;
    probe->busName = busName;
    probe->stamp = stamp;
    if (send(*probe, busName, kRootPath, "GetChildren", &onWindows)) {
        probes_.push_back(std::move(probe));
    }
}

bool ActiveWindowProbe::busy() const {
    for (const auto& p : probes_) {
        if (p->outstanding > 0) {
            return true;
        }
    }
    return false;
}

int ActiveWindowProbe::onWindows(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* probe = static_cast<Probe*>(userdata);
    --probe->outstanding;
    if (sd_bus_message_is_method_error(reply, nullptr) > 0 ||
        sd_bus_message_enter_container(reply, 'a', "(so)") < 0) {
        return 0;
    }
    const char* name = nullptr;
    const char* path = nullptr;
    for (int n = 0; n < kMaxWindows && sd_bus_message_read(reply, "(so)", &name, &path) > 0; ++n) {
        if (name != nullptr && *name != '\0' && path != nullptr) {
            probe->owner->send(*probe, name, path, "GetState", &onState);
        }
    }
    return 0;
}

int ActiveWindowProbe::onState(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* probe = static_cast<Probe*>(userdata);
    --probe->outstanding;
    std::uint32_t low = 0;
    if (probe->found || sd_bus_message_is_method_error(reply, nullptr) > 0 ||
        sd_bus_message_enter_container(reply, 'a', "u") < 0 ||
        sd_bus_message_read(reply, "u", &low) <= 0 || ((low >> kStateActive) & 1U) == 0) {
        return 0;
    }
    probe->found = true;
    probe->owner->found_(probe->busName, probe->stamp);
    return 0;
}

}  // namespace kivora::linux_::atspi
