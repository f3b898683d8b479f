#include "platform/linux/atspi/AtspiAccessibility.h"

#include <cmath>
#include <deque>

#include "platform/linux/Diagnostics.h"

namespace kivora::linux_::atspi {
namespace {

constexpr const char* kActionInterface = "org.a11y.atspi.Action";
constexpr const char* kCollectionInterface = "org.a11y.atspi.Collection";
constexpr const char* kNullPath = "/org/a11y/atspi/null";
// Children read of one element at most: a menu is far smaller, and an application that
// answers with millions of children must not make the helper hold them all.
constexpr std::size_t kMaxChildren = 10000;
// Bounds of the menu-bar search in toolkits without the Collection interface.
constexpr int kSearchDepth = 4;
constexpr int kSearchNodes = 128;

bool hasState(std::uint64_t states, std::uint32_t state) {
    return ((states >> state) & 1U) != 0;
}

}  // namespace

bool AtspiAccessibility::isProcessTrusted() {
    if (!bus_.isOpen()) {
        return false;
    }
    CallResult result =
        bus_.callSession("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
                         [](sd_bus_message* m) {
                             return sd_bus_message_append(m, "ss", "org.a11y.Status", "IsEnabled");
                         });
    int enabled = 0;
    return result.ok() && sd_bus_message_read(result.reply.get(), "v", "b", &enabled) >= 0 &&
           enabled != 0;
}

bool AtspiAccessibility::isProcessTrustedWithPrompt() {
    const bool trusted = isProcessTrusted();
    if (!trusted && bus_.isOpen()) {
        CallResult result = bus_.callSession(
            "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
            [](sd_bus_message* m) {
                return sd_bus_message_append(m, "ssv", "org.a11y.Status", "IsEnabled", "b", 1);
            });
        writeDiagnostic(result.ok() ? "accessibility was off: turned toolkit accessibility on "
                                      "(org.a11y.Status.IsEnabled)"
                                    : "accessibility is off and could not be turned on: enable "
                                      "it in the desktop's accessibility settings");
    }
    return trusted;
}

std::shared_ptr<const AtspiElement> AtspiAccessibility::intern(const std::string& busName,
                                                               const std::string& path) {
    auto key = std::make_pair(busName, path);
    if (auto it = elements_.find(key); it != elements_.end()) {
        if (auto live = it->second.lock()) {
            return live;
        }
    }
    auto element = std::make_shared<const AtspiElement>(busName, path, 0);
    elements_[std::move(key)] = element;
    if (elements_.size() >= sweepAt_) {
        std::erase_if(elements_, [](const auto& entry) { return entry.second.expired(); });
        sweepAt_ = std::max<std::size_t>(1024, elements_.size() * 2);
    }
    return element;
}

AXUIElementRef AtspiAccessibility::createApplication(std::int32_t processIdentifier) {
    std::string busName = applications_.busNameForProcess(processIdentifier).value_or("");
    return std::make_shared<const AtspiElement>(std::move(busName), kRootPath, processIdentifier);
}

const AtspiElement* AtspiAccessibility::resolve(const AXUIElementRef& element, AXError& error) {
    const auto* e = dynamic_cast<const AtspiElement*>(element.get());
    if (e == nullptr) {
        error = kAXErrorIllegalArgument;
        return nullptr;
    }
    if (e->busName.empty() && e->processIdentifier > 0) {
        // An application that had not registered when its element was made may have since.
        e->busName = applications_.busNameForProcess(e->processIdentifier).value_or("");
    }
    if (e->busName.empty()) {
        error = kAXErrorInvalidUIElement;
        return nullptr;
    }
    error = kAXErrorSuccess;
    return e;
}

AtspiAccessibility::Snapshot& AtspiAccessibility::snapshotFor(const AXUIElementRef& element) {
    if (snapshot_.element != element) {
        snapshot_ = Snapshot{};
        snapshot_.element = element;
    }
    return snapshot_;
}

std::uint64_t AtspiAccessibility::timeoutFor(const AtspiElement& element) const {
    float seconds = element.timeoutSeconds;
    if (seconds <= 0) {
        if (auto it = applicationTimeouts_.find(element.busName);
            it != applicationTimeouts_.end()) {
            seconds = it->second;
        }
    }
    if (seconds <= 0) {
        return kDefaultTimeoutUsec;
    }
    return static_cast<std::uint64_t>(static_cast<double>(seconds) * 1e6);
}

CallResult AtspiAccessibility::fetch(const AtspiElement& element, ElementRead read) {
    // An answer sent ahead is the one a call now would give, except for a failure of the
    // bus itself (such as a limit of the bus daemon): that one is asked again.
    if (auto answer = readAhead_.take(element, read); answer && answer->error != kAXErrorFailure) {
        return std::move(*answer);
    }
    return readAhead_.call(element, read, timeoutFor(element));
}

AXError AtspiAccessibility::childrenOf(const AtspiElement& element,
                                       std::vector<AXUIElementRef>& out) {
    CallResult result = fetch(element, ElementRead::Children);
    if (!result.ok()) {
        return result.error;
    }
    if (sd_bus_message_enter_container(result.reply.get(), 'a', "(so)") < 0) {
        return kAXErrorFailure;
    }
    const char* name = nullptr;
    const char* path = nullptr;
    while (out.size() < kMaxChildren &&
           sd_bus_message_read(result.reply.get(), "(so)", &name, &path) > 0) {
        if (name == nullptr || *name == '\0' || path == nullptr ||
            std::string_view(path) == kNullPath) {
            continue;
        }
        out.push_back(intern(name, path));
    }
    return kAXErrorSuccess;
}

AXError AtspiAccessibility::readChildren(const AXUIElementRef& handle, const AtspiElement& element,
                                         const std::vector<AXUIElementRef>*& out) {
    Snapshot& snapshot = snapshotFor(handle);
    if (!snapshot.children) {
        std::vector<AXUIElementRef> children;
        if (AXError err = childrenOf(element, children); err != kAXErrorSuccess) {
            return err;
        }
        snapshot.children = std::move(children);
    }
    out = &*snapshot.children;
    return kAXErrorSuccess;
}

AXError AtspiAccessibility::readStates(const AXUIElementRef& handle, const AtspiElement& element,
                                       std::uint64_t& states) {
    Snapshot& snapshot = snapshotFor(handle);
    if (!snapshot.states) {
        CallResult result = fetch(element, ElementRead::States);
        if (!result.ok()) {
            return result.error;
        }
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        if (sd_bus_message_enter_container(result.reply.get(), 'a', "u") < 0 ||
            sd_bus_message_read(result.reply.get(), "u", &low) <= 0) {
            return kAXErrorFailure;
        }
        if (sd_bus_message_read(result.reply.get(), "u", &high) <= 0) {
            high = 0;
        }
        snapshot.states = (static_cast<std::uint64_t>(high) << 32U) | low;
    }
    states = *snapshot.states;
    return kAXErrorSuccess;
}

AXError AtspiAccessibility::readShortcut(const AXUIElementRef& handle, const AtspiElement& element,
                                         const std::optional<MenuShortcut>*& out) {
    Snapshot& snapshot = snapshotFor(handle);
    if (!snapshot.shortcut) {
        CallResult result = fetch(element, ElementRead::KeyBinding);
        if (!result.ok()) {
            return result.error;
        }
        const char* binding = nullptr;
        if (sd_bus_message_read(result.reply.get(), "s", &binding) < 0) {
            return kAXErrorFailure;
        }
        snapshot.shortcut = parseKeyBinding(binding != nullptr ? binding : "");
    }
    out = &*snapshot.shortcut;
    return kAXErrorSuccess;
}

AXError AtspiAccessibility::readTitle(const AtspiElement& element, AXValue& value) {
    CallResult result = fetch(element, ElementRead::Name);
    if (!result.ok()) {
        return result.error;
    }
    const char* name = nullptr;
    if (sd_bus_message_read(result.reply.get(), "v", "s", &name) < 0) {
        return kAXErrorFailure;
    }
    // Some toolkits pad menu labels with blanks (to make room for the accelerator text); the
    // title is the label itself. An empty name is no title, as a menu without a title has none.
    std::string_view title = name != nullptr ? name : "";
    const auto first = title.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return kAXErrorNoValue;
    }
    title = title.substr(first, title.find_last_not_of(" \t\r\n") - first + 1);
    value = Value(std::string(title));
    return kAXErrorSuccess;
}

std::optional<AXUIElementRef> AtspiAccessibility::menuBarByCollection(const AtspiElement& frame) {
    // Match rule: any state, attribute and interface; role menu bar. Toolkits answer only in
    // canonical order (sort 1) with traversal on.
    CallResult result = bus_.call(
        frame.busName, frame.path, kCollectionInterface, "GetMatches",
        [](sd_bus_message* m) {
            int r = sd_bus_message_open_container(m, 'r', "aiia{ss}iaiiasib");
            const std::int32_t noStates[2] = {0, 0};
            const std::int32_t roles[4] = {0, 1 << (kRoleMenuBar - 32), 0, 0};
            if (r >= 0) {
                r = sd_bus_message_append_array(m, 'i', noStates, sizeof noStates);
            }
            if (r >= 0) {
                r = sd_bus_message_append(m, "ia{ss}i", 1, 0, 1);
            }
            if (r >= 0) {
                r = sd_bus_message_append_array(m, 'i', roles, sizeof roles);
            }
            if (r >= 0) {
                r = sd_bus_message_append(m, "iasib", 2, 0, 1, 0);
            }
            if (r >= 0) {
                r = sd_bus_message_close_container(m);
            }
            if (r >= 0) {
                r = sd_bus_message_append(m, "uib", 1, 1, 1);
            }
            return r;
        },
        timeoutFor(frame));
    if (!result.ok() || sd_bus_message_enter_container(result.reply.get(), 'a', "(so)") < 0) {
        return std::nullopt;
    }
    const char* name = nullptr;
    const char* path = nullptr;
    if (sd_bus_message_read(result.reply.get(), "(so)", &name, &path) > 0 && name != nullptr &&
        *name != '\0' && path != nullptr && std::string_view(path) != kNullPath) {
        return intern(name, path);
    }
    return std::nullopt;
}

std::optional<AXUIElementRef> AtspiAccessibility::menuBarBySearch(const AtspiElement& frame) {
    std::deque<std::pair<AXUIElementRef, int>> queue;
    std::vector<AXUIElementRef> children;
    if (childrenOf(frame, children) != kAXErrorSuccess) {
        return std::nullopt;
    }
    for (auto& child : children) {
        queue.emplace_back(std::move(child), 1);
    }
    int visited = 0;
    while (!queue.empty() && visited++ < kSearchNodes) {
        auto [handle, depth] = std::move(queue.front());
        queue.pop_front();
        const auto& element = static_cast<const AtspiElement&>(*handle);
        CallResult role = bus_.call(element.busName, element.path, kAccessibleInterface, "GetRole",
                                    {}, timeoutFor(element));
        std::uint32_t value = 0;
        if (!role.ok() || sd_bus_message_read(role.reply.get(), "u", &value) < 0) {
            if (role.error == kAXErrorCannotComplete) {
                return std::nullopt;  // the application does not answer: stop asking
            }
            continue;
        }
        if (value == kRoleMenuBar) {
            return handle;
        }
        if (depth < kSearchDepth) {
            children.clear();
            if (childrenOf(element, children) == kAXErrorSuccess) {
                for (auto& child : children) {
                    queue.emplace_back(std::move(child), depth + 1);
                }
            }
        }
    }
    return std::nullopt;
}

AXError AtspiAccessibility::findMenuBar(const AtspiElement& application, AXValue& value) {
    std::vector<AXUIElementRef> frames;
    if (AXError err = childrenOf(application, frames); err != kAXErrorSuccess) {
        return err;
    }
    // The active window's menu bar first: an application with several windows shows the
    // menus of the one the user works in.
    if (frames.size() > 1) {
        std::stable_partition(frames.begin(), frames.end(), [&](const AXUIElementRef& frame) {
            const auto& f = static_cast<const AtspiElement&>(*frame);
            CallResult result =
                bus_.call(f.busName, f.path, kAccessibleInterface, "GetState", {}, timeoutFor(f));
            std::uint32_t low = 0;
            return result.ok() &&
                   sd_bus_message_enter_container(result.reply.get(), 'a', "u") >= 0 &&
                   sd_bus_message_read(result.reply.get(), "u", &low) > 0 &&
                   hasState(low, kStateActive);
        });
    }
    for (const auto& frame : frames) {
        const auto& f = static_cast<const AtspiElement&>(*frame);
        auto bar = menuBarByCollection(f);
        if (!bar) {
            bar = menuBarBySearch(f);
        }
        if (bar) {
            value = *bar;
            return kAXErrorSuccess;
        }
    }
    return kAXErrorNoValue;
}

AXError AtspiAccessibility::copyAttributeValue(const AXUIElementRef& element,
                                               std::string_view attribute, AXValue& value) {
    AXError error = kAXErrorSuccess;
    const AtspiElement* e = resolve(element, error);
    if (e == nullptr) {
        return error;
    }
    if (attribute == "AXTitle") {
        return readTitle(*e, value);
    }
    if (attribute == "AXEnabled") {
        std::uint64_t states = 0;
        if (AXError err = readStates(element, *e, states); err != kAXErrorSuccess) {
            return err;
        }
        value = Value(hasState(states, kStateEnabled) && hasState(states, kStateSensitive));
        return kAXErrorSuccess;
    }
    if (attribute == "AXMenuItemCmdChar" || attribute == "AXMenuItemCmdModifiers" ||
        attribute == "AXMenuItemCmdGlyph") {
        const std::optional<MenuShortcut>* shortcut = nullptr;
        if (AXError err = readShortcut(element, *e, shortcut); err != kAXErrorSuccess) {
            return err;
        }
        if (!*shortcut) {
            return kAXErrorNoValue;
        }
        const MenuShortcut& s = **shortcut;
        if (attribute == "AXMenuItemCmdModifiers") {
            value = Value(s.modifiers);
        } else if (attribute == "AXMenuItemCmdChar" && s.character) {
            value = Value(*s.character);
        } else if (attribute == "AXMenuItemCmdGlyph" && s.glyph) {
            value = Value(*s.glyph);
        } else {
            return kAXErrorNoValue;
        }
        return kAXErrorSuccess;
    }
    if (attribute == "AXMenuBar") {
        if (e->processIdentifier == 0) {
            return kAXErrorNoValue;
        }
        readAhead_.clear();  // a new walk reads everything afresh
        return findMenuBar(*e, value);
    }
    if (attribute == "AXChildren") {
        return kAXErrorIllegalArgument;  // an array of elements: copyAttributeValues
    }
    return kAXErrorAttributeUnsupported;
}

AXError AtspiAccessibility::getAttributeValueCount(const AXUIElementRef& element,
                                                   std::string_view attribute,
                                                   std::int64_t& count) {
    AXError error = kAXErrorSuccess;
    const AtspiElement* e = resolve(element, error);
    if (e == nullptr) {
        return error;
    }
    if (attribute != "AXChildren") {
        return kAXErrorIllegalArgument;
    }
    const std::vector<AXUIElementRef>* children = nullptr;
    if (AXError err = readChildren(element, *e, children); err != kAXErrorSuccess) {
        return err;
    }
    count = static_cast<std::int64_t>(children->size());
    return kAXErrorSuccess;
}

AXError AtspiAccessibility::copyAttributeValues(const AXUIElementRef& element,
                                                std::string_view attribute, std::int64_t index,
                                                std::int64_t maxValues,
                                                std::vector<AXValue>& values) {
    AXError error = kAXErrorSuccess;
    const AtspiElement* e = resolve(element, error);
    if (e == nullptr) {
        return error;
    }
    if (attribute != "AXChildren" || index < 0 || maxValues < 0) {
        return kAXErrorIllegalArgument;
    }
    const std::vector<AXUIElementRef>* children = nullptr;
    if (AXError err = readChildren(element, *e, children); err != kAXErrorSuccess) {
        return err;
    }
    const auto size = static_cast<std::int64_t>(children->size());
    const std::int64_t begin = std::min(index, size);
    const std::int64_t end = begin + std::min(maxValues, size - begin);
    values.clear();
    for (std::int64_t i = begin; i < end; ++i) {
        const AXUIElementRef& child = (*children)[static_cast<std::size_t>(i)];
        values.emplace_back(child);
        // The walker goes on to read these children: ask for all of it at once.
        readAhead_.request(child, timeoutFor(static_cast<const AtspiElement&>(*child)));
    }
    return kAXErrorSuccess;
}

AXError AtspiAccessibility::performAction(const AXUIElementRef& element, std::string_view action) {
    AXError error = kAXErrorSuccess;
    const AtspiElement* e = resolve(element, error);
    if (e == nullptr) {
        return error;
    }
    if (action != "AXPress") {
        return kAXErrorIllegalArgument;
    }
    // Fresh state: the item may have been disabled since it was read.
    snapshot_ = Snapshot{};
    readAhead_.clear();
    std::uint64_t states = 0;
    if (AXError err = readStates(element, *e, states); err != kAXErrorSuccess) {
        return err;
    }
    // Toolkits answer true even for a disabled item, so check first.
    if (!hasState(states, kStateEnabled) || !hasState(states, kStateSensitive)) {
        return kAXErrorCannotComplete;
    }
    CallResult result = bus_.call(
        e->busName, e->path, kActionInterface, "DoAction",
        [](sd_bus_message* m) { return sd_bus_message_append(m, "i", 0); }, timeoutFor(*e));
    snapshot_ = Snapshot{};
    if (!result.ok()) {
        return result.error == kAXErrorNoValue ? kAXErrorCannotComplete : result.error;
    }
    int done = 0;
    if (sd_bus_message_read(result.reply.get(), "b", &done) < 0 || done == 0) {
        return kAXErrorCannotComplete;
    }
    return kAXErrorSuccess;
}

AXError AtspiAccessibility::setMessagingTimeout(const AXUIElementRef& element, float seconds) {
    const auto* e = dynamic_cast<const AtspiElement*>(element.get());
    if (e == nullptr || std::isnan(seconds) || seconds < 0) {
        return kAXErrorIllegalArgument;
    }
    e->timeoutSeconds = seconds;
    if (e->processIdentifier != 0) {
        // Set on an application element, it holds for every element of that application.
        AXError error = kAXErrorSuccess;
        if (resolve(element, error) != nullptr) {
            if (seconds == 0) {
                applicationTimeouts_.erase(e->busName);
            } else {
                applicationTimeouts_[e->busName] = seconds;
            }
        }
    }
    return kAXErrorSuccess;
}

}  // namespace kivora::linux_::atspi
