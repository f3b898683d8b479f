#include "platform/simulated/SimulatedDesktopModel.h"

#include <limits>
#include <set>

#include "platform/Json.h"

namespace kivora::simulated {

namespace {

// Desktop files may be large generated menus, but never unbounded.
constexpr std::size_t kMaxDocumentBytes = 64 * 1024 * 1024;
constexpr std::size_t kMaxDocumentDepth = 512;
// A day: anything longer is a typo, and every call is cut at the messaging timeout anyway.
constexpr std::int64_t kMaxDelayMs = 86'400'000;

const char* typeName(const Value& v) {
    if (v.isNull())
        return "null";
    if (v.isBool())
        return "a boolean";
    if (v.isInteger())
        return "an integer";
    if (v.isReal())
        return "a real number";
    if (v.isString())
        return "a string";
    if (v.isArray())
        return "an array";
    if (v.isDictionary())
        return "an object";
    return "data";
}

struct Builder {
    const void* owner = nullptr;
    std::string error;

    bool fail(const std::string& where, const std::string& problem) {
        error = where.empty() ? problem : where + ": " + problem;
        return false;
    }

    bool parseErrors(const Value& v, const std::string& where, SimulatedElement& node) {
        const Dictionary* errors = v.dictionary();
        if (errors == nullptr) {
            return fail(where, std::string("must be an object of attribute or action names to "
                                           "error codes, not ") +
                                   typeName(v));
        }
        for (const auto& [name, code] : *errors) {
            if (!code.isInteger() || code.asInteger() < std::numeric_limits<AXError>::min() ||
                code.asInteger() > std::numeric_limits<AXError>::max()) {
                return fail(where + "." + name,
                            "must be an error code (a 32-bit integer such as "
                            "-25204)");
            }
            node.errors.emplace(name, static_cast<AXError>(code.asInteger()));
        }
        return true;
    }

    bool delayValue(const Value& v, const std::string& where, std::uint32_t& out) {
        if (!v.isInteger() || v.asInteger() < 0 || v.asInteger() > kMaxDelayMs) {
            return fail(where, "must be a whole number of milliseconds from 0 to " +
                                   std::to_string(kMaxDelayMs));
        }
        out = static_cast<std::uint32_t>(v.asInteger());
        return true;
    }

    // A number delays every call; an object delays only the calls it names.
    bool parseDelay(const Value& v, const std::string& where, SimulatedElement& node) {
        if (const Dictionary* perCall = v.dictionary()) {
            for (const auto& [name, ms] : *perCall) {
                if (!delayValue(ms, where + "." + name, node.delaysMs[name]))
                    return false;
            }
            return true;
        }
        return delayValue(v, where, node.delayMs);
    }

    SimulatedElementRef element(const Dictionary& object, const std::string& where,
                                const SimulatedApplication* app, const SimulatedElement* parent) {
        auto node = std::make_shared<SimulatedElement>();
        node->owner = owner;
        node->application = app;
        node->parent = parent;
        for (const auto& [key, value] : object) {
            if (key == "AXErrors") {
                if (!parseErrors(value, where + ".AXErrors", *node))
                    return nullptr;
            } else if (key == "AXDelayMs") {
                if (!parseDelay(value, where + ".AXDelayMs", *node))
                    return nullptr;
            } else if (key == "AXChildren") {
                if (!children(value, where + ".AXChildren", app, *node))
                    return nullptr;
            } else {
                node->attributes.emplace(key, AXValue(value));
            }
        }
        return node;
    }

    bool children(const Value& value, const std::string& where, const SimulatedApplication* app,
                  SimulatedElement& node) {
        const Array* items = value.array();
        if (items == nullptr) {
            // Served as it is: the count then answers kAXErrorIllegalArgument.
            node.childrenValue = value;
            return true;
        }
        node.hasChildrenArray = true;
        node.children.reserve(items->size());
        for (std::size_t i = 0; i < items->size(); ++i) {
            const Value& item = (*items)[i];
            if (const Dictionary* object = item.dictionary()) {
                auto child = element(*object, where + "[" + std::to_string(i) + "]", app, &node);
                if (!child)
                    return false;
                node.children.emplace_back(AXUIElementRef(std::move(child)));
            } else {
                node.children.emplace_back(item);
            }
        }
        return true;
    }

    SimulatedApplicationRef application(const Value& value, const std::string& where) {
        const Dictionary* object = value.dictionary();
        if (object == nullptr) {
            fail(where, std::string("must be an object, not ") + typeName(value));
            return nullptr;
        }
        auto app = std::make_shared<SimulatedApplication>();
        app->element = std::make_shared<SimulatedElement>();
        app->element->owner = owner;
        app->element->application = app.get();

        const Value* pid = value.find("processIdentifier");
        if (pid == nullptr) {
            fail(where, "has no processIdentifier");
            return nullptr;
        }
        if (!pid->isInteger() || pid->asInteger() <= 0 ||
            pid->asInteger() > std::numeric_limits<std::int32_t>::max()) {
            fail(where + ".processIdentifier", "must be a positive 32-bit integer");
            return nullptr;
        }
        app->processIdentifier = static_cast<std::int32_t>(pid->asInteger());

        for (const auto& [key, item] : *object) {
            const std::string at = where + "." + key;
            if (key == "processIdentifier" || key == "description") {
                continue;
            } else if (key == "bundleIdentifier") {
                if (item.isString()) {
                    app->bundleIdentifier = item.asString();
                } else if (!item.isNull()) {
                    fail(at, std::string("must be a string or null, not ") + typeName(item));
                    return nullptr;
                }
            } else if (key == "menuBar") {
                if (const Dictionary* bar = item.dictionary()) {
                    auto menuBar = element(*bar, at, app.get(), nullptr);
                    if (!menuBar)
                        return nullptr;
                    app->element->attributes.emplace("AXMenuBar", AXUIElementRef(menuBar));
                } else {
                    // A menu bar of the wrong type is served as such.
                    app->element->attributes.emplace("AXMenuBar", AXValue(item));
                }
            } else if (key == "AXErrors") {
                if (!parseErrors(item, at, *app->element))
                    return nullptr;
            } else if (key == "AXDelayMs") {
                if (!parseDelay(item, at, *app->element))
                    return nullptr;
            } else {
                fail(at,
                     "is not a known application key (bundleIdentifier, processIdentifier, "
                     "menuBar, AXErrors, AXDelayMs, description)");
                return nullptr;
            }
        }
        return app;
    }

    std::optional<SimulatedDesktopModel> desktop(const Value& document) {
        const Dictionary* top = document.dictionary();
        if (top == nullptr) {
            fail("", std::string("the document must be an object, not ") + typeName(document));
            return std::nullopt;
        }
        SimulatedDesktopModel model;
        owner = model.owner();
        for (const auto& [key, item] : *top) {
            if (key == "trusted") {
                if (!item.isBool()) {
                    fail("trusted", std::string("must be true or false, not ") + typeName(item));
                    return std::nullopt;
                }
                model.trusted = item.asBool();
            } else if (key != "frontmost" && key != "applications" && key != "description") {
                fail(key, "is not a known key (trusted, frontmost, applications, description)");
                return std::nullopt;
            }
        }

        const Value* apps = document.find("applications");
        if (apps == nullptr) {
            fail("", "the document has no applications array");
            return std::nullopt;
        }
        if (!apps->isArray()) {
            fail("applications", std::string("must be an array, not ") + typeName(*apps));
            return std::nullopt;
        }
        std::set<std::int32_t> pids;
        for (std::size_t i = 0; i < apps->asArray().size(); ++i) {
            const std::string where = "applications[" + std::to_string(i) + "]";
            auto app = application(apps->asArray()[i], where);
            if (!app)
                return std::nullopt;
            if (!pids.insert(app->processIdentifier).second) {
                fail(where + ".processIdentifier", "process identifier " +
                                                       std::to_string(app->processIdentifier) +
                                                       " is used by an earlier application");
                return std::nullopt;
            }
            model.applications.push_back(std::move(app));
        }

        if (const Value* front = document.find("frontmost"); front != nullptr) {
            if (front->isString()) {
                model.frontmost = model.runningApplication(std::string_view(front->asString()));
                if (!model.frontmost) {
                    fail("frontmost",
                         "no application has the bundle identifier \"" + front->asString() + "\"");
                    return std::nullopt;
                }
            } else if (front->isInteger()) {
                const std::int64_t pid = front->asInteger();
                if (pid > 0 && pid <= std::numeric_limits<std::int32_t>::max()) {
                    model.frontmost = model.application(static_cast<std::int32_t>(pid));
                }
                if (!model.frontmost) {
                    fail("frontmost",
                         "no application has the process identifier " + std::to_string(pid));
                    return std::nullopt;
                }
            } else if (!front->isNull()) {
                fail("frontmost", std::string("must be a bundle identifier, a process "
                                              "identifier or null, not ") +
                                      typeName(*front));
                return std::nullopt;
            }
        }
        return model;
    }
};

}  // namespace

SimulatedApplicationRef SimulatedDesktopModel::runningApplication(
    std::string_view bundleIdentifier) const {
    for (const auto& app : applications) {
        if (app->running && app->bundleIdentifier && *app->bundleIdentifier == bundleIdentifier) {
            return app;
        }
    }
    return nullptr;
}

SimulatedApplicationRef SimulatedDesktopModel::runningApplication(
    std::int32_t processIdentifier) const {
    auto app = application(processIdentifier);
    return app && app->running ? app : nullptr;
}

SimulatedApplicationRef SimulatedDesktopModel::application(std::int32_t processIdentifier) const {
    for (const auto& app : applications) {
        if (app->processIdentifier == processIdentifier) {
            return app;
        }
    }
    return nullptr;
}

SimulatedApplicationRef SimulatedDesktopModel::addApplication(
    std::int32_t processIdentifier, std::optional<std::string> bundleIdentifier,
    const SimulatedElementRef& menuBar) {
    auto app = std::make_shared<SimulatedApplication>();
    app->processIdentifier = processIdentifier;
    app->bundleIdentifier = std::move(bundleIdentifier);
    app->element = std::make_shared<SimulatedElement>();
    if (menuBar) {
        app->element->attributes.emplace("AXMenuBar", AXUIElementRef(menuBar));
    }
    adopt(*app->element, app.get());
    applications.push_back(app);
    return app;
}

void SimulatedDesktopModel::adopt(SimulatedElement& root,
                                  const SimulatedApplication* application) const {
    // Trees built in code may hold an element twice or even a cycle: visit each once.
    std::set<const SimulatedElement*> seen;
    std::vector<SimulatedElement*> pending{&root};
    while (!pending.empty()) {
        SimulatedElement* node = pending.back();
        pending.pop_back();
        if (!seen.insert(node).second) {
            continue;
        }
        node->owner = owner();
        node->application = application;
        auto visit = [&](const AXValue& value) {
            const auto* ref = std::get_if<AXUIElementRef>(&value);
            // The tree was built mutable; handles are const only towards the helper.
            if (auto* child = ref == nullptr
                                  ? nullptr
                                  : const_cast<SimulatedElement*>(
                                        dynamic_cast<const SimulatedElement*>(ref->get()))) {
                pending.push_back(child);
            }
        };
        for (const AXValue& child : node->children) {
            visit(child);
        }
        for (const auto& [name, value] : node->attributes) {
            visit(value);
        }
    }
}

SimulatedElementRef makeElement(std::map<std::string, AXValue, std::less<>> attributes,
                                std::initializer_list<SimulatedElementRef> children) {
    auto node = std::make_shared<SimulatedElement>();
    node->attributes = std::move(attributes);
    for (const auto& child : children) {
        appendChild(*node, child);
    }
    return node;
}

void appendChild(SimulatedElement& parent, SimulatedElementRef child) {
    parent.hasChildrenArray = true;
    child->parent = &parent;
    parent.children.emplace_back(AXUIElementRef(std::move(child)));
}

void SimulatedDesktopModel::recordPress(std::string path) {
    if (pressedItems.size() >= kMaxRecords) {
        pressedItems.pop_front();
    }
    pressedItems.push_back(std::move(path));
}

void SimulatedDesktopModel::recordKeyEvent(const RecordedKeyEvent& event) {
    if (keyEvents.size() >= kMaxRecords) {
        keyEvents.pop_front();
    }
    keyEvents.push_back(event);
}

std::optional<SimulatedDesktopModel> parseDesktop(std::string_view text, std::string& error) {
    json::Limits limits;
    limits.maxBytes = kMaxDocumentBytes;
    limits.maxDepth = kMaxDocumentDepth;
    limits.allowScalarTopLevel = true;  // so that the shape error below names the type
    json::ParseResult parsed = json::parse(text, limits);
    if (!parsed.value) {
        error = parsed.error;
        return std::nullopt;
    }
    Builder builder;
    auto model = builder.desktop(*parsed.value);
    if (!model) {
        error = builder.error;
    }
    return model;
}

std::string pressPath(const SimulatedElement& node) {
    std::vector<const std::string*> titles;
    // The menu bar and the application element have no parent and are not part of a path.
    for (const SimulatedElement* n = &node; n != nullptr && n->parent != nullptr; n = n->parent) {
        auto it = n->attributes.find("AXTitle");
        const Value* title = it == n->attributes.end() ? nullptr : std::get_if<Value>(&it->second);
        if (title != nullptr && title->isString() && !title->asString().empty()) {
            titles.push_back(&title->asString());
        }
    }
    std::string path;
    for (auto it = titles.rbegin(); it != titles.rend(); ++it) {
        if (!path.empty())
            path += '/';
        path += **it;
    }
    return path;
}

}  // namespace kivora::simulated
