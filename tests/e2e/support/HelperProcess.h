#pragma once
// The helper (KIVORA_HELPER_PATH) as a child process on a private bus, and kivoractl runs.
// With KIVORA_VALGRIND=1 the helper runs under valgrind memcheck; when the object goes, the
// helper is stopped with SIGTERM and any error or definite leak in the report fails the test.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/support/ChildProcess.h"
#include "e2e/support/TempDir.h"

namespace kivora::e2e {

class PrivateBus;

struct HelperOptions {
    // The arguments alone: HelperProcess(bus, HelperOptions::withArgs({"--desktop", path})).
    static HelperOptions withArgs(std::vector<std::string> args) {
        return {std::move(args), std::nullopt, {}};
    }

    std::vector<std::string> args;  // for example {"--desktop", path}
    // HOME of the helper; none: a fresh empty folder that lives as long as the process.
    std::optional<std::string> home;
    // More environment changes (a value sets, none removes); applied last.
    std::map<std::string, std::optional<std::string>> environment;
};

class HelperProcess : public ChildProcess {
public:
    // The helper on `bus`.
    HelperProcess(const PrivateBus& bus, HelperOptions options = {});
    // The helper with no session bus to find (DBUS_SESSION_BUS_ADDRESS points nowhere,
    // XDG_RUNTIME_DIR unset).
    static std::unique_ptr<HelperProcess> withoutBus(HelperOptions options = {});
    ~HelperProcess() override;

    // Waits until this process owns org.morvane.Kivora.KivoraData; false if it exits first
    // or at the timeout.
    bool waitUntilOwnsName(Duration timeout = kDefaultTimeout);

    const std::string& home() const { return home_; }

private:
    HelperProcess(std::optional<std::string> busAddress, HelperOptions options,
                  std::unique_ptr<TempDir> homeDir);
    void checkValgrindReport();

    std::optional<std::string> busAddress_;
    std::unique_ptr<TempDir> homeDir_;
    std::string home_;
};

// Runs kivoractl against `bus` to its end.
RunResult runKivoractl(const PrivateBus& bus, const std::vector<std::string>& args,
                       Duration timeout = kDefaultTimeout);

}  // namespace kivora::e2e
