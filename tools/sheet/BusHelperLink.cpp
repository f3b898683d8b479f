// The helper link over sd-bus, driven by the GLib main loop: the connection's descriptor is
// watched for what sd-bus wants next, with its timeout, so nothing here ever waits.
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <time.h>

#include <cstring>
#include <iostream>

#include "messaging/NotificationNames.h"
#include "platform/linux/DBusNotificationCodec.h"
#include "platform/linux/SdHandles.h"
#include "sheet/HelperLink.h"

namespace kivora::sheet {

namespace {

using linux_::BusConnection;
using linux_::MessagePtr;
using linux_::SlotPtr;

std::uint64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

class BusHelperLink : public HelperLink {
public:
    explicit BusHelperLink(BusConnection bus) : bus_(std::move(bus)) {}
    ~BusHelperLink() override { unwatch(); }

    bool subscribe(std::string& error) {
        sd_bus_slot* slot = nullptr;
        const std::string rule = linux_::wire::matchRule(std::nullopt, std::nullopt);
        // The bus handles our messages in order, so the rule is in place before any request
        // that we post after it: no need to wait for the answer.
        const int r = sd_bus_add_match_async(bus_.get(), &slot, rule.c_str(),
                                             &BusHelperLink::onPost, nullptr, this);
        if (r < 0) {
            error = std::string("cannot subscribe to notifications: ") + std::strerror(-r);
            return false;
        }
        posts_.reset(slot);
        rearm();
        return true;
    }

    // The bus refuses to start a name that has no service file even while somebody owns it,
    // so ask whether the helper runs first.
    void startHelper() override { callBus("NameHasOwner", "s", &BusHelperLink::onOwnerKnown); }

    bool post(const std::string& name, bool toHelper) override {
        auto encoded = linux_::wire::encodePost(
            bus_.get(), name, toHelper ? std::optional(names::helperIdentifier()) : std::nullopt,
            {});
        if (!encoded.message) {
            std::cerr << "kivora-sheet: cannot post " << name << ": " << encoded.error << "\n";
            return false;
        }
        const int r = sd_bus_send(bus_.get(), encoded.message.get(), nullptr);
        rearm();
        if (r < 0) {
            std::cerr << "kivora-sheet: cannot post " << name << ": " << std::strerror(-r) << "\n";
        }
        return r >= 0;
    }

    void flush() override { sd_bus_flush(bus_.get()); }

private:
    static int onPost(sd_bus_message* message, void* userdata, sd_bus_error*) {
        auto* self = static_cast<BusHelperLink*>(userdata);
        const char* sender = sd_bus_message_get_sender(message);
        if (sender != nullptr && self->unique_ == sender) {
            return 0;  // our own request
        }
        auto decoded = linux_::wire::decodePost(message);
        if (decoded.notification && self->onNotification) {
            self->onNotification(*decoded.notification);
        }
        return 0;
    }

    template <typename... Args>
    void callBus(const char* member, const char* signature, sd_bus_message_handler_t then,
                 Args... args) {
        sd_bus_slot* slot = nullptr;
        const int r =
            sd_bus_call_method_async(bus_.get(), &slot, "org.freedesktop.DBus",
                                     "/org/freedesktop/DBus", "org.freedesktop.DBus", member, then,
                                     this, signature, names::helperIdentifier().c_str(), args...);
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
        if (unique_.empty()) {
            const char* unique = nullptr;
            if (sd_bus_get_unique_name(bus_.get(), &unique) >= 0 && unique != nullptr) {
                unique_ = unique;
            }
        }
        const int events = sd_bus_get_events(bus_.get());
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
        ioSource_ =
            g_unix_fd_add(sd_bus_get_fd(bus_.get()), condition, &BusHelperLink::onReady, this);
        std::uint64_t until = 0;
        if (sd_bus_get_timeout(bus_.get(), &until) >= 0 && until != UINT64_MAX) {
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
        while ((r = sd_bus_process(bus_.get(), nullptr)) > 0) {
        }
        if (r < 0) {
            lost();
            return;
        }
        rearm();
    }

    void lost() {
        unwatch();
        if (!lost_) {
            lost_ = true;
            std::cerr << "kivora-sheet: lost the session bus\n";
            report(false, "lost the session bus");
        }
    }

    BusConnection bus_;
    std::string unique_;
    SlotPtr posts_;
    SlotPtr start_;
    guint ioSource_ = 0;
    guint timeSource_ = 0;
    bool lost_ = false;
};

}  // namespace

std::unique_ptr<HelperLink> connectToHelper(std::string& error) {
    sd_bus* raw = nullptr;
    const int r = sd_bus_open_user(&raw);
    if (r < 0) {
        error = std::string("cannot connect to the session bus: ") + std::strerror(-r);
        return nullptr;
    }
    auto link = std::make_unique<BusHelperLink>(BusConnection(raw));
    if (!link->subscribe(error)) {
        return nullptr;
    }
    return link;
}

}  // namespace kivora::sheet
