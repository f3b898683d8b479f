#pragma once
// Desktop-file ids of installed applications, found from an application's accessible name.
// They serve as the bundle identifiers of Linux applications.

#include <optional>
#include <string>
#include <vector>

namespace kivora::linux_::atspi {

class DesktopEntries {
public:
    // The application folders of $XDG_DATA_HOME and $XDG_DATA_DIRS (with their defaults), the
    // user's first.
    static std::vector<std::string> standardFolders();

    explicit DesktopEntries(std::vector<std::string> folders);

    // The desktop-file id for an application named `name`: a desktop file of that id; else the
    // one whose StartupWMClass or Exec program is `name` (hidden entries left out; an entry that
    // passes only file arguments, not shown in menus last; then the smallest id). None when no
    // file fits. The folders are read once, at the first lookup.
    std::optional<std::string> idForApplicationName(const std::string& name);

private:
    struct Entry {
        std::string id;
        std::string program;    // basename of the first word of Exec
        std::string wmClass;    // StartupWMClass
        bool plainExec = true;  // Exec passes nothing but field codes
        bool noDisplay = false;
    };
    void load();

    std::vector<std::string> folders_;
    std::vector<Entry> entries_;
    bool loaded_ = false;
};

// The bundle identifier of an application with this accessible name: its desktop-file id when
// one is found, else the name itself; none for an empty name.
std::optional<std::string> bundleIdentifierForName(DesktopEntries& entries,
                                                   const std::string& name);

}  // namespace kivora::linux_::atspi
