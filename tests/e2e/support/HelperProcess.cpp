#include "e2e/support/HelperProcess.h"

#include <thread>

#include "e2e/support/BusClient.h"
#include "e2e/support/PrivateBus.h"

namespace kivora::e2e {

namespace {

ProcessSpec helperSpec(const std::optional<std::string>& busAddress, const HelperOptions& options,
                       const std::string& home) {
    ProcessSpec spec{KIVORA_HELPER_PATH, options.args, {}};
    if (busAddress) {
        spec.environment["DBUS_SESSION_BUS_ADDRESS"] = *busAddress;
    } else {
        spec.environment["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/nonexistent/kivora-no-bus";
        spec.environment["XDG_RUNTIME_DIR"] = std::nullopt;
    }
    spec.environment["HOME"] = home;
    for (const auto& [name, value] : options.environment) {
        spec.environment[name] = value;
    }
    return spec;
}

std::unique_ptr<TempDir> homeFor(const HelperOptions& options) {
    return options.home ? nullptr : std::make_unique<TempDir>();
}

}  // namespace

HelperProcess::HelperProcess(const PrivateBus& bus, HelperOptions options)
    : HelperProcess(bus.address(), options, homeFor(options)) {}

HelperProcess::HelperProcess(std::optional<std::string> busAddress, HelperOptions options,
                             std::unique_ptr<TempDir> homeDir)
    : ChildProcess(
          helperSpec(busAddress, options, homeDir ? homeDir->path() : options.home.value_or(""))),
      busAddress_(std::move(busAddress)),
      homeDir_(std::move(homeDir)),
      home_(homeDir_ ? homeDir_->path() : options.home.value_or("")) {}

std::unique_ptr<HelperProcess> HelperProcess::withoutBus(HelperOptions options) {
    auto home = homeFor(options);
    return std::unique_ptr<HelperProcess>(
        new HelperProcess(std::nullopt, std::move(options), std::move(home)));
}

HelperProcess::~HelperProcess() {
    kill();  // before the home folder goes
}

bool HelperProcess::waitUntilOwnsName(Duration timeout) {
    if (!busAddress_) {
        return false;
    }
    const auto deadline = Clock::now() + timeout;
    BusClient client(*busAddress_);
    while (Clock::now() < deadline && running()) {
        if (client.nameOwnerPid(kHelperBusName) == pid()) {
            return true;
        }
        std::this_thread::sleep_for(Duration(10));
    }
    return false;
}

RunResult runKivoractl(const PrivateBus& bus, const std::vector<std::string>& args,
                       Duration timeout) {
    return runProcess(
        ProcessSpec{KIVORACTL_PATH, args, {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}}}, timeout);
}

}  // namespace kivora::e2e
