#include "e2e/support/HelperProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "e2e/support/PrivateBus.h"
#include "e2e/support/TestClient.h"

namespace kivora::e2e {

namespace {

#ifdef KIVORA_VALGRIND_PATH
constexpr const char* kValgrind = KIVORA_VALGRIND_PATH;
#else
constexpr const char* kValgrind = "/usr/bin/valgrind";
#endif
// valgrind's exit status when it found an error or a definite leak.
constexpr int kValgrindFoundErrors = 99;

std::string temporaryFolder() {
    const char* base = std::getenv("TMPDIR");
    return base != nullptr && *base != '\0' ? base : "/tmp";
}

// valgrind runs the helper in its own process, so %p is the helper's pid.
std::string valgrindLog(const std::string& pid) {
    return temporaryFolder() + "/kivora-valgrind." + pid + ".log";
}

ProcessSpec helperSpec(const std::optional<std::string>& busAddress, const HelperOptions& options,
                       const std::string& home) {
    ProcessSpec spec{KIVORA_HELPER_PATH, options.args, {}};
    if (underValgrind()) {
        // The report goes to a file: the helper's standard error stays its own.
        spec.path = kValgrind;
        spec.args = {"--error-exitcode=" + std::to_string(kValgrindFoundErrors),
                     "--leak-check=full",
                     "--errors-for-leak-kinds=definite",
                     "--show-leak-kinds=definite",
                     "--num-callers=40",
                     "--log-file=" + valgrindLog("%p"),
                     KIVORA_HELPER_PATH};
        spec.args.insert(spec.args.end(), options.args.begin(), options.args.end());
    }
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
    if (underValgrind()) {
        checkValgrindReport();
    }
    kill();  // before the home folder goes
}

void HelperProcess::checkValgrindReport() {
    // SIGKILL would end valgrind before its leak check: stop the helper the orderly way.
    if (running()) {
        signal(SIGTERM);
    }
    const ExitStatus status = waitForExit();
    const std::string path = valgrindLog(std::to_string(pid()));
    std::ostringstream report;
    report << std::ifstream(path).rdbuf();
    std::error_code ignored;
    std::filesystem::remove(path, ignored);

    static const std::regex errors("ERROR SUMMARY: [1-9]");
    const std::string text = report.str();
    // A helper that the test itself killed leaves no summary; that is not a finding.
    const bool killedByTest = status.kind == ExitStatus::Kind::signaled && status.signal == SIGKILL;
    const bool found = status.timedOut() || status.exitedWith(kValgrindFoundErrors) ||
                       (status.kind == ExitStatus::Kind::signaled && !killedByTest) ||
                       std::regex_search(text, errors);
    if (found) {
        ADD_FAILURE() << "valgrind memcheck of the helper: " << status << "\n"
                      << text << describe();
    }
}

bool HelperProcess::waitUntilOwnsName(Duration timeout) {
    if (!busAddress_) {
        return false;
    }
    const auto deadline = Clock::now() + scaled(timeout);
    TestClient client(*busAddress_);
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
