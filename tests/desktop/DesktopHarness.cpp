#include "DesktopHarness.h"

#include <cstdlib>

namespace kivora::desktop {
namespace {

Value record(const char* path, const char* title, const char* modifier, const char* character) {
    return Value(Dictionary{{"Path", Value(path)},
                            {"Title", Value(title)},
                            {"Modifier", Value(modifier)},
                            {"MenuItemCmdChar", Value(character)},
                            {"MenuItemCmdGlyph", Value("")}});
}

}  // namespace

DesktopSession* sharedSession(std::string& whyNot) {
    static std::string reason;
    static std::unique_ptr<DesktopSession> session = [] {
        auto started = DesktopSession::start(reason);
        if (started) {
            // The adapters in this process find the display and desktop files as the helper
            // would in the session.
            for (const auto& [name, value] : started->environment()) {
                if (value) {
                    ::setenv(name.c_str(), value->c_str(), 1);
                } else {
                    ::unsetenv(name.c_str());
                }
            }
        }
        return started;
    }();
    whyNot = reason;
    return session.get();
}

Array expectedTestApplicationList() {
    // F-keys and arrows have a numeric glyph and no character: the walker leaves them out, as
    // it does the disabled Paste Special and the items without a shortcut.
    return Array{
        Value("File"),
        record("File", "New", "⌘", "N"),
        record("File", "Open", "⌘", "O"),
        Value("File/Open Recent"),
        record("File/Open Recent", "Reopen Last", "⇧⌘", "T"),
        record("File/Open Recent", "Oldest", "⌥⌘", "O"),
        record("File", "Save", "⌘", "S"),
        record("File", "Save As", "⇧⌘", "S"),
        Value("Edit"),
        record("Edit", "Undo", "⌘", "Z"),
        record("Edit", "Redo", "⇧⌘", "Z"),
        record("Edit", "Zoom In", "⌘", "+"),
        record("Edit", "Zoom Out", "⌘", "-"),
        Value("Edit"),
    };
}

}  // namespace kivora::desktop
