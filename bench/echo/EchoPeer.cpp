// The baseline peer of the round-trip benchmark: plain sd-bus, no event loop, no decoding. It
// answers every "AccessibilityStatus" Post with the reply that a trusted helper sends,
// "AccessibilityStatusResponse" without object and with {"isEnabled": true}, so that the
// helper's round trip can be set against what the bus itself costs. It owns
// org.morvane.Kivora.EchoPeer once it listens, and ends on SIGTERM or a lost bus.
//
// With --replay ADDRESS REQUEST OBJECT it first asks the peer on the bus at ADDRESS once
// (REQUEST with OBJECT), keeps the body of its REQUEST"Response" as a signal encoded once,
// and then answers every REQUEST Post with that same message: the cost of the bus alone for
// a reply of that content.
#include <signal.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kPath = "/org/morvane/DistributedNotificationCenter";
constexpr const char* kInterface = "org.morvane.DistributedNotificationCenter";

volatile sig_atomic_t stopping = 0;

void onTerminate(int) {
    stopping = 1;
}

// The reply of --replay, sealed by its first send and sent unchanged ever after.
sd_bus_message* replayed = nullptr;

int onRequest(sd_bus_message* message, void*, sd_bus_error*) {
    sd_bus* bus = sd_bus_message_get_bus(message);
    if (replayed != nullptr) {
        if (const int r = sd_bus_send(bus, replayed, nullptr); r < 0) {
            std::fprintf(stderr, "kivora_echo_peer: cannot answer: %s\n", std::strerror(-r));
        }
        return 0;
    }
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

int onReply(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto** captured = static_cast<sd_bus_message**>(userdata);
    if (*captured == nullptr) {
        *captured = sd_bus_message_ref(message);
    }
    return 0;
}

// Asks the peer on `address` once and builds the reply to replay on `own`.
int fetchReply(sd_bus* own, const char* address, const std::string& request, const char* object) {
    sd_bus* source = nullptr;
    int r = sd_bus_new(&source);
    if (r >= 0) {
        r = sd_bus_set_address(source, address);
    }
    if (r >= 0) {
        r = sd_bus_set_bus_client(source, 1);
    }
    if (r >= 0) {
        r = sd_bus_start(source);
    }
    const std::string rule = "type='signal',interface='" + std::string(kInterface) +
                             "',member='Post',arg0='" + request + "Response'";
    sd_bus_message* captured = nullptr;
    if (r >= 0) {
        r = sd_bus_add_match(source, nullptr, rule.c_str(), &onReply, &captured);
    }
    if (r >= 0) {
        r = sd_bus_emit_signal(source, kPath, kInterface, "Post", "ssa{sv}", request.c_str(),
                               object, 0);
    }
    while (r >= 0 && captured == nullptr && !stopping) {
        r = sd_bus_process(source, nullptr);
        if (r == 0) {
            r = sd_bus_wait(source, 10 * 1000 * 1000);
        }
    }
    if (r >= 0 && captured == nullptr) {
        r = -ETIMEDOUT;
    }
    if (r >= 0) {
        r = sd_bus_message_new_signal(own, &replayed, kPath, kInterface, "Post");
    }
    if (r >= 0) {
        r = sd_bus_message_rewind(captured, true);
    }
    if (r >= 0) {
        r = sd_bus_message_copy(replayed, captured, true);
    }
    sd_bus_message_unref(captured);
    sd_bus_flush_close_unref(source);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const bool replay = argc == 5 && std::strcmp(argv[1], "--replay") == 0;
    if (argc > 1 && !replay) {
        std::fprintf(argc == 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr,
                     "Usage: kivora_echo_peer [--replay ADDRESS REQUEST OBJECT]\n"
                     "Answers AccessibilityStatus (or replays the reply to REQUEST of the peer\n"
                     "at ADDRESS) on the session bus, for the benchmarks.\n");
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
    if (replay) {
        if (const int r = fetchReply(bus, argv[2], argv[3], argv[4]); r < 0) {
            return fail("cannot fetch the reply to replay", r);
        }
    }
    const std::string rule = "type='signal',interface='" + std::string(kInterface) +
                             "',member='Post',arg0='" + (replay ? argv[3] : "AccessibilityStatus") +
                             "'";
    if (const int r = sd_bus_add_match(bus, nullptr, rule.c_str(), &onRequest, nullptr); r < 0) {
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
    sd_bus_message_unref(replayed);
    sd_bus_flush_close_unref(bus);
    return 0;
}
