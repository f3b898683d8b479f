// The baseline peer of the round-trip benchmark: plain sd-bus, no event loop, no decoding. It
// answers every "AccessibilityStatus" Post with the reply that a trusted helper sends,
// "AccessibilityStatusResponse" without object and with {"isEnabled": true}, so that the
// helper's round trip can be set against what the bus itself costs. It owns
// org.morvane.Kivora.EchoPeer once it listens, and ends on SIGTERM or a lost bus.
#include <signal.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kPath = "/org/morvane/DistributedNotificationCenter";
constexpr const char* kInterface = "org.morvane.DistributedNotificationCenter";

volatile sig_atomic_t stopping = 0;

void onTerminate(int) {
    stopping = 1;
}

int onRequest(sd_bus_message* message, void*, sd_bus_error*) {
    sd_bus* bus = sd_bus_message_get_bus(message);
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_signal(bus, &reply, kPath, kInterface, "Post");
    if (r >= 0) {
        r = sd_bus_message_append(reply, "sa{sv}", "AccessibilityStatusResponse", 1, "isEnabled",
                                  "b", 1);
    }
    if (r >= 0) {
        r = sd_bus_send(bus, reply, nullptr);
    }
    sd_bus_message_unref(reply);
    if (r < 0) {
        std::fprintf(stderr, "kivora_echo_peer: cannot answer: %s\n", std::strerror(-r));
    }
    return 0;
}

int fail(const char* what, int r) {
    std::fprintf(stderr, "kivora_echo_peer: %s: %s\n", what, std::strerror(-r));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        std::fprintf(argc == 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr,
                     "Usage: kivora_echo_peer\n"
                     "Answers AccessibilityStatus on the session bus, for the benchmarks.\n");
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    sd_bus* bus = nullptr;
    if (const int r = sd_bus_open_user(&bus); r < 0) {
        return fail("cannot connect to the session bus", r);
    }
    const char* rule =
        "type='signal',interface='org.morvane.DistributedNotificationCenter',member='Post',"
        "arg0='AccessibilityStatus'";
    if (const int r = sd_bus_add_match(bus, nullptr, rule, &onRequest, nullptr); r < 0) {
        return fail("cannot watch requests", r);
    }
    if (const int r = sd_bus_request_name(bus, "org.morvane.Kivora.EchoPeer", 0); r < 0) {
        return fail("cannot own org.morvane.Kivora.EchoPeer", r);
    }
    while (!stopping) {
        int r = sd_bus_process(bus, nullptr);
        if (r > 0) {
            continue;
        }
        if (r >= 0) {
            r = sd_bus_wait(bus, UINT64_MAX);
        }
        if (r < 0 && r != -EINTR) {
            sd_bus_flush_close_unref(bus);
            return stopping ? 0 : fail("lost the session bus", r);
        }
    }
    sd_bus_flush_close_unref(bus);
    return 0;
}
