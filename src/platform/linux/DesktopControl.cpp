#include "platform/linux/DesktopControl.h"

#include <cerrno>
#include <exception>
#include <string>

#include "platform/linux/SimulatedDesktop.h"
#include "platform/linux/wire/Names.h"

namespace kivora::linux_ {

namespace {

SimulatedDesktop& desktopOf(void* userdata) {
    return *static_cast<SimulatedDesktop*>(userdata);
}

int noSuchApplication(sd_bus_error* error, const std::string& what) {
    return sd_bus_error_setf(error, SimulatedDesktop::kNoSuchApplicationError,
                             "No running application %s", what.c_str());
}

// Runs a method body; no exception may cross the C library.
template <typename Body>
int guarded(sd_bus_error* error, Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    } catch (const std::exception& e) {
        return sd_bus_error_set(error, SD_BUS_ERROR_FAILED, e.what());
    } catch (...) {
        return sd_bus_error_set(error, SD_BUS_ERROR_FAILED, "internal error");
    }
}

// Activate and Quit both name an application by bundle identifier and fail alike.
template <typename Action>
int withBundleIdentifier(sd_bus_message* m, sd_bus_error* error, Action action) {
    return guarded(error, [&] {
        const char* bundleIdentifier = nullptr;
        int r = sd_bus_message_read(m, "s", &bundleIdentifier);
        if (r < 0)
            return r;
        if (!action(bundleIdentifier)) {
            return noSuchApplication(
                error, "with the bundle identifier \"" + std::string(bundleIdentifier) + "\"");
        }
        return sd_bus_reply_method_return(m, "");
    });
}

int activate(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return withBundleIdentifier(m, error,
                                [&](const char* id) { return desktopOf(userdata).activate(id); });
}

int activateProcess(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        std::int32_t pid = 0;
        int r = sd_bus_message_read(m, "i", &pid);
        if (r < 0)
            return r;
        if (!desktopOf(userdata).activateProcess(pid)) {
            return noSuchApplication(error, "with the process identifier " + std::to_string(pid));
        }
        return sd_bus_reply_method_return(m, "");
    });
}

int quit(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return withBundleIdentifier(m, error,
                                [&](const char* id) { return desktopOf(userdata).quit(id); });
}

int setTrusted(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        int trusted = 0;
        int r = sd_bus_message_read(m, "b", &trusted);
        if (r < 0)
            return r;
        desktopOf(userdata).setTrusted(trusted != 0);
        return sd_bus_reply_method_return(m, "");
    });
}

int pressedItems(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        sd_bus_message* reply = nullptr;
        int r = sd_bus_message_new_method_return(m, &reply);
        if (r >= 0)
            r = sd_bus_message_open_container(reply, 'a', "s");
        for (const auto& item : desktopOf(userdata).pressedItems()) {
            if (r < 0)
                break;
            r = sd_bus_message_append_basic(reply, 's', item.c_str());
        }
        if (r >= 0)
            r = sd_bus_message_close_container(reply);
        if (r >= 0)
            r = sd_bus_send(nullptr, reply, nullptr);
        sd_bus_message_unref(reply);
        return r;
    });
}

int keyEvents(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        sd_bus_message* reply = nullptr;
        int r = sd_bus_message_new_method_return(m, &reply);
        if (r >= 0)
            r = sd_bus_message_open_container(reply, 'a', "(qbt)");
        for (const auto& e : desktopOf(userdata).keyEvents()) {
            if (r < 0)
                break;
            r = sd_bus_message_append(reply, "(qbt)", e.keyCode, static_cast<int>(e.keyDown),
                                      static_cast<std::uint64_t>(e.flags));
        }
        if (r >= 0)
            r = sd_bus_message_close_container(reply);
        if (r >= 0)
            r = sd_bus_send(nullptr, reply, nullptr);
        sd_bus_message_unref(reply);
        return r;
    });
}

int promptCount(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        return sd_bus_reply_method_return(m, "u", desktopOf(userdata).promptCount());
    });
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("Activate", "s", SD_BUS_PARAM(bundleIdentifier), "", "", activate,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("ActivateProcess", "i", SD_BUS_PARAM(processIdentifier), "", "",
                             activateProcess, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("Quit", "s", SD_BUS_PARAM(bundleIdentifier), "", "", quit,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("SetTrusted", "b", SD_BUS_PARAM(trusted), "", "", setTrusted,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("PressedItems", "", "", "as", SD_BUS_PARAM(items), pressedItems,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("KeyEvents", "", "", "a(qbt)", SD_BUS_PARAM(events), keyEvents,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("PromptCount", "", "", "u", SD_BUS_PARAM(count), promptCount,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

}  // namespace

int addDesktopControl(sd_bus* bus, SimulatedDesktop& desktop, sd_bus_slot** slot) {
    return sd_bus_add_object_vtable(bus, slot, wire::kDesktopPath, wire::kDesktopInterface, kVtable,
                                    &desktop);
}

}  // namespace kivora::linux_
