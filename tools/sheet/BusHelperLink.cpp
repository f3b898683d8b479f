// The helper link over the wire client, driven by the GLib main loop: the connection's
// descriptor is watched for what sd-bus wants next, with its timeout, and the helper is started
// by an asynchronous call, so the window never waits for the bus.
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <time.h>

#include <cstring>
#include <iostream>

#include "messaging/NotificationNames.h"
#include "platform/linux/wire/BusClient.h"
#include "sheet/HelperLink.h"

namespace kivora::sheet {

namespace {

using linux_::SlotPtr;
using linux_::wire::BusClient;

std::uint64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

class BusHelperLink : public HelperLink {
public:
    explicit BusHelperLink(std::unique_ptr<BusClient> client) : client_(std::move(client)) {}
    ~BusHelperLink() override { unwatch(); }

    bool subscribe(std::string& error) {
        if (!client_->subscribe({})) {
            error = client_->lastError();
            return false;
        }
        rearm();
        return true;
    }

    // The bus refuses to start a name that has no service file even while somebody owns it,
    // so ask whether the helper runs first.
    void startHelper() override { callBus("NameHasOwner", "s", &BusHelperLink::onOwnerKnown); }

    bool post(const std::string& name, bool toHelper) override {
        const bool sent =
            client_->post(name, toHelper ? std::optional(names::helperIdentifier()) : std::nullopt);
        if (!sent) {
            std::cerr << "kivora-sheet: " << client_->lastError() << "\n";
        }
        rearm();
        return sent;
    }

    void flush() override { sd_bus_flush(bus()); }

private:
    sd_bus* bus() const { return client_->bus(); }

    template <typename... Args>
    void callBus(const char* member, const char* signature, sd_bus_message_handler_t then,
                 Args... args) {
        sd_bus_slot* slot = nullptr;
        const int r = sd_bus_call_method_async(
            bus(), &slot, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            member, then, this, signature, names::helperIdentifier().c_str(), args...);
        if (r < 0) {
            report(false, std::string("cannot ask the bus: ") + std::strerror(-r));
            return;
        }
        start_.reset(slot);
        rearm();
    }

    static int onOwnerKnown(sd_bus_message* reply, void* userdata, sd_bus_error*) {
        auto* self = static_cast<BusHelperLink*>(userdata);
        int owned = 0;
        if (sd_bus_message_get_error(reply) == nullptr &&
            sd_bus_message_read(reply, "b", &owned) >= 0 && owned) {
            self->report(true, "");
        } else {
            self->callBus("StartServiceByName", "su", &BusHelperLink::onStarted, 0u);
        }
        return 0;
    }

    static int onStarted(sd_bus_message* reply, void* userdata, sd_bus_error*) {
        auto* self = static_cast<BusHelperLink*>(userdata);
        if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
            self->report(false, error->message != nullptr ? error->message : error->name);
        } else {
            self->report(true, "");
        }
        return 0;
    }

    void report(bool running, const std::string& why) {
        if (onHelperStarted) {
            onHelperStarted(running, why);
        }
    }

    void unwatch() {
        for (guint* source : {&ioSource_, &timeSource_}) {
            if (*source != 0) {
                g_source_remove(*source);
                *source = 0;
            }
        }
    }

    // Watches the descriptor for what sd-bus wants now, and its next deadline.
    void rearm() {
        unwatch();
        const int events = sd_bus_get_events(bus());
        if (events < 0) {
            lost();
            return;
        }
        GIOCondition condition = static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR);
        if (events & POLLIN) {
            condition = static_cast<GIOCondition>(condition | G_IO_IN);
        }
        if (events & POLLOUT) {
            condition = static_cast<GIOCondition>(condition | G_IO_OUT);
        }
        ioSource_ = g_unix_fd_add(sd_bus_get_fd(bus()), condition, &BusHelperLink::onReady, this);
        std::uint64_t until = 0;
        if (sd_bus_get_timeout(bus(), &until) >= 0 && until != UINT64_MAX) {
            const std::uint64_t now = monotonicMicroseconds();
            const auto ms = static_cast<guint>(until > now ? (until - now + 999) / 1000 : 0);
            timeSource_ = g_timeout_add(ms, &BusHelperLink::onTimeout, this);
        }
    }

    static gboolean onReady(gint, GIOCondition, gpointer userdata) {
        static_cast<BusHelperLink*>(userdata)->process();
        return G_SOURCE_REMOVE;  // rearm() has put up a fresh one
    }
    static gboolean onTimeout(gpointer userdata) {
        static_cast<BusHelperLink*>(userdata)->process();
        return G_SOURCE_REMOVE;
    }

    void process() {
        ioSource_ = 0;
        timeSource_ = 0;
        int r = 0;
        while ((r = sd_bus_process(bus(), nullptr)) > 0) {
        }
        if (r < 0) {
            lost();
            return;
        }
        deliver();
        rearm();
    }

    // Hands on what the client collected, and forgets it: the sheet keeps what it needs.
    void deliver() {
        std::vector<Notification> arrived = client_->received();
        client_->clear();
        for (const Notification& notification : arrived) {
            if (onNotification) {
                onNotification(notification);
            }
        }
    }

    void lost() {
        unwatch();
        if (!lost_) {
            lost_ = true;
            std::cerr << "kivora-sheet: lost the session bus\n";
            report(false, "lost the session bus");
        }
    }

    std::unique_ptr<BusClient> client_;
    SlotPtr start_;
    guint ioSource_ = 0;
    guint timeSource_ = 0;
    bool lost_ = false;
};

}  // namespace

std::unique_ptr<HelperLink> connectToHelper(std::string& error) {
    auto client = BusClient::connect("", error);
    if (!client) {
        return nullptr;
    }
    auto link = std::make_unique<BusHelperLink>(std::move(client));
    if (!link->subscribe(error)) {
        return nullptr;
    }
    return link;
}

}  // namespace kivora::sheet
