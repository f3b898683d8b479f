#include "kivoractl/Monitor.h"

#include <systemd/sd-bus.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>

#include "kivoractl/Commands.h"
#include "kivoractl/MonitorLine.h"
#include "kivoractl/Output.h"
#include "platform/linux/wire/BusClient.h"
#include "platform/linux/wire/DBusNotificationCodec.h"

namespace kivoractl {

namespace wire = kivora::linux_::wire;

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) {
    interrupted = 1;
}

// The signal may land between the check and the wait, so no wait lasts longer than this.
constexpr std::uint64_t kLongestWaitMicroseconds = 200'000;

std::string wallClockTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    const std::size_t used = std::strftime(text, sizeof text, "%H:%M:%S", &local);
    std::snprintf(text + used, sizeof text - used, ".%03ld", now.tv_nsec / 1'000'000);
    return text;
}

struct Watch {
    const Command& command;
    std::uint64_t seen = 0;
    bool writeFailed = false;
};

int onPost(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& watch = *static_cast<Watch*>(userdata);
    if (watch.writeFailed || (watch.command.count != 0 && watch.seen >= watch.command.count)) {
        return 0;
    }
    const char* senderName = sd_bus_message_get_sender(message);
    const std::string sender = senderName != nullptr ? senderName : "?";
    const std::string time = wallClockTime();
    auto decoded = wire::decodePost(message);
    if (!decoded.notification) {
        // Shown rather than hidden: malformed traffic is what one monitors for.
        kivora::Notification refused{"(not a notification: " + decoded.error + ")", {}, {}};
        decoded.notification = std::move(refused);
    }
    if (watch.command.json != JsonForm::Off) {
        printJson(monitorRecord(time, sender, *decoded.notification), watch.command.json);
    } else {
        print(monitorLine(time, sender, *decoded.notification));
    }
    ++watch.seen;
    watch.writeFailed = std::fflush(stdout) != 0;
    return 0;
}

}  // namespace

int monitor(const Command& command) {
    std::string error;
    auto client = wire::BusClient::connect(command.address, error);
    if (!client) {
        return fail(error);
    }
    Watch watch{command};
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_match(client->bus(), &slot,
                             wire::matchRule(std::nullopt, std::nullopt).c_str(), onPost, &watch);
    if (r < 0) {
        return fail("cannot watch the notifications on the bus");
    }
    kivora::linux_::SlotPtr ownedSlot(slot);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    // A status line, not data; once it shows, nothing posted is missed.
    std::fprintf(stderr, "Monitoring the notifications on the bus (Ctrl-C to stop)...\n");

    const auto deadline =
        std::chrono::steady_clock::now() +
        std::chrono::milliseconds(static_cast<std::int64_t>(command.timeoutSeconds * 1000));
    for (;;) {
        r = sd_bus_process(client->bus(), nullptr);
        if (watch.writeFailed) {
            return kExitFailure;  // main says that standard output is unwritable
        }
        if (r < 0) {
            return fail("lost the bus");
        }
        if (command.count != 0 && watch.seen >= command.count) {
            return kExitSuccess;
        }
        if (r > 0) {
            continue;
        }
        std::uint64_t wait = kLongestWaitMicroseconds;
        if (command.timeoutSeconds > 0) {
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= decltype(left)::zero()) {
                return kExitSuccess;
            }
            wait = std::min<std::uint64_t>(
                wait, std::chrono::duration_cast<std::chrono::microseconds>(left).count());
        }
        if (interrupted) {
            return kExitSuccess;
        }
        r = sd_bus_wait(client->bus(), wait);
        if (r < 0 && r != -EINTR) {
            return fail("lost the bus");
        }
    }
}

}  // namespace kivoractl
