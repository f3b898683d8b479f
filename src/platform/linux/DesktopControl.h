#pragma once
// The control interface of the simulated desktop on the bus: what a test or a user does to
// the desktop (switch applications, quit one, grant the permission) and what it recorded.

#include <systemd/sd-bus.h>

namespace kivora::linux_ {

class SimulatedDesktop;

// Serves `desktop` at SimulatedDesktop::kObjectPath on `bus`; the object lives as long as
// `*slot`. Negative errno on failure.
int addDesktopControl(sd_bus* bus, SimulatedDesktop& desktop, sd_bus_slot** slot);

}  // namespace kivora::linux_
