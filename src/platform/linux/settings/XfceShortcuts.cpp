#include <glib.h>

#include <cstring>
#include <utility>

#include "platform/linux/settings/ShortcutStore.h"

namespace kivora::linux_::settings {
namespace {

constexpr std::size_t kMaxDepth = 16;

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t", at)) != std::string_view::npos) {
        const auto end = text.find_first_of(" \t", at);
        out.emplace_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

// The options of a command as single letters: "--region" and "-r" are both "r"; "-rc" is
// "r" and "c".
std::string optionLetters(const std::vector<std::string>& command) {
    constexpr std::pair<std::string_view, char> kLong[] = {
        {"--fullscreen", 'f'}, {"--region", 'r'}, {"--clipboard", 'c'}, {"--window", 'w'}};
    std::string letters;
    for (std::size_t i = 1; i < command.size(); ++i) {
        const std::string& word = command[i];
        for (const auto& [name, letter] : kLong) {
            if (word == name) {
                letters += letter;
            }
        }
        if (word.size() > 1 && word[0] == '-' && word[1] != '-') {
            letters += word.substr(1);
        }
    }
    return letters;
}

// A pattern is a program name, then options it must have ("-f") or must not have ("!-c").
bool commandMatches(std::string_view pattern, std::string_view command) {
    const auto wanted = words(pattern);
    const auto given = words(command);
    if (wanted.empty() || given.empty()) {
        return false;
    }
    const std::string& program = given[0];
    if (program.substr(program.rfind('/') + 1) != wanted[0]) {
        return false;
    }
    const std::string letters = optionLetters(given);
    for (std::size_t i = 1; i < wanted.size(); ++i) {
        const bool forbidden = wanted[i][0] == '!';
        const char letter = wanted[i].back();
        if ((letters.find(letter) != std::string::npos) == forbidden) {
            return false;
        }
    }
    return true;
}

struct Binding {
    std::string section;  // "xfwm4" or "commands"
    bool custom = false;
    std::string accelerator;
    std::string action;  // the window manager action or the command
};

struct Parse {
    std::vector<std::string> names;  // the enclosing properties' names
    std::vector<Binding> bindings;
};

void startElement(GMarkupParseContext*, const gchar* element, const gchar** names,
                  const gchar** values, gpointer data, GError** error) {
    auto& parse = *static_cast<Parse*>(data);
    if (parse.names.size() >= kMaxDepth) {
        g_set_error_literal(error, G_MARKUP_ERROR, G_MARKUP_ERROR_INVALID_CONTENT,
                            "nested too deep");
        return;
    }
    const char* name = "";
    const char* value = nullptr;
    for (int i = 0; names[i] != nullptr; ++i) {
        if (std::strcmp(names[i], "name") == 0) {
            name = values[i];
        } else if (std::strcmp(names[i], "value") == 0) {
            value = values[i];
        }
    }
    const auto& path = parse.names;
    // channel, section, "custom" or "default", accelerator
    if (std::strcmp(element, "property") == 0 && path.size() == 3 && value != nullptr &&
        (path[1] == "xfwm4" || path[1] == "commands") &&
        (path[2] == "custom" || path[2] == "default")) {
        parse.bindings.push_back(Binding{path[1], path[2] == "custom", name, value});
    }
    parse.names.emplace_back(name);
}

void endElement(GMarkupParseContext*, const gchar*, gpointer data, GError**) {
    auto& parse = *static_cast<Parse*>(data);
    if (!parse.names.empty()) {
        parse.names.pop_back();
    }
}

class XfceStore : public ShortcutStore {
public:
    explicit XfceStore(std::vector<Binding> bindings) : bindings_(std::move(bindings)) {}

    std::optional<std::vector<std::string>> accelerators(
        const Counterpart& setting) const override {
        // Once the user has changed a section, its custom list replaces the default one.
        bool custom = false;
        for (const Binding& b : bindings_) {
            custom = custom || (b.custom && b.section == setting.group);
        }
        std::optional<std::vector<std::string>> out;
        for (const Binding& b : bindings_) {
            if (b.section != setting.group || b.custom != custom) {
                continue;
            }
            if (b.section == "commands" ? commandMatches(setting.name, b.action)
                                        : b.action == setting.name) {
                out.emplace().push_back(b.accelerator);
            }
        }
        return out;
    }

private:
    std::vector<Binding> bindings_;
};

}  // namespace

OpenedStore openXfceStore(const std::string& path) {
    std::string problem;
    const auto text = readSettingsFile(path, problem);
    if (!text) {
        return {nullptr, problem};
    }
    // GMarkup knows no entities beyond the five predefined ones and loads nothing.
    static constexpr GMarkupParser kParser = {startElement, endElement, nullptr, nullptr, nullptr};
    Parse parse;
    GMarkupParseContext* context =
        g_markup_parse_context_new(&kParser, G_MARKUP_IGNORE_QUALIFIED, &parse, nullptr);
    GError* error = nullptr;
    const bool ok = g_markup_parse_context_parse(context, text->data(),
                                                 static_cast<gssize>(text->size()), &error) &&
                    g_markup_parse_context_end_parse(context, &error);
    g_markup_parse_context_free(context);
    if (!ok) {
        problem = path + ": " + (error != nullptr ? error->message : "malformed");
        g_clear_error(&error);
        return {nullptr, problem};
    }
    return {std::make_unique<XfceStore>(std::move(parse.bindings)), {}};
}

}  // namespace kivora::linux_::settings
