#include "platform/linux/atspi/DesktopEntries.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace kivora::linux_::atspi {
namespace {

constexpr std::size_t kMaxDesktopFileBytes = 256 * 1024;

std::string trim(const std::string& s) {
    const auto begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos) {
        return {};
    }
    return s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1);
}

std::vector<std::string> splitExec(const std::string& exec) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool any = false;
    for (char c : exec) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) {
                words.push_back(word);
            }
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) {
        words.push_back(word);
    }
    return words;
}

}  // namespace

std::vector<std::string> DesktopEntries::standardFolders() {
    std::vector<std::string> folders;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome != nullptr && *dataHome == '/') {
        folders.push_back(std::string(dataHome) + "/applications");
    } else if (home != nullptr && *home == '/') {
        folders.push_back(std::string(home) + "/.local/share/applications");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string dirs =
        dataDirs != nullptr && *dataDirs != '\0' ? dataDirs : "/usr/local/share:/usr/share";
    std::stringstream stream(dirs);
    std::string dir;
    while (std::getline(stream, dir, ':')) {
        if (!dir.empty() && dir.front() == '/') {
            folders.push_back(dir + "/applications");
        }
    }
    return folders;
}

DesktopEntries::DesktopEntries(std::vector<std::string> folders) : folders_(std::move(folders)) {}

void DesktopEntries::load() {
    loaded_ = true;
    std::set<std::string> seen;  // an id in an earlier folder hides the same id later on
    for (const auto& folder : folders_) {
        std::error_code ec;
        std::filesystem::directory_iterator it(folder, ec);
        if (ec) {
            continue;
        }
        std::vector<std::filesystem::path> files;
        for (const auto& file : it) {
            if (file.path().extension() == ".desktop" && file.is_regular_file(ec)) {
                files.push_back(file.path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const auto& path : files) {
            Entry entry;
            entry.id = path.stem().string();
            if (!seen.insert(entry.id).second) {
                continue;
            }
            std::error_code sizeError;
            if (std::filesystem::file_size(path, sizeError) > kMaxDesktopFileBytes || sizeError) {
                continue;
            }
            std::ifstream in(path);
            std::string line;
            bool mainGroup = false;
            bool valid = false;  // a file without the main group is no desktop entry
            bool hidden = false;
            bool application = true;
            while (std::getline(in, line)) {
                line = trim(line);
                if (line.empty() || line.front() == '#') {
                    continue;
                }
                if (line.front() == '[') {
                    mainGroup = line == "[Desktop Entry]";
                    valid = valid || mainGroup;
                    continue;
                }
                const auto equals = line.find('=');
                if (!mainGroup || equals == std::string::npos) {
                    continue;
                }
                const std::string key = trim(line.substr(0, equals));
                const std::string value = trim(line.substr(equals + 1));
                if (key == "Exec") {
                    const auto words = splitExec(value);
                    if (!words.empty()) {
                        entry.program = std::filesystem::path(words.front()).filename().string();
                        entry.plainExec = std::all_of(
                            words.begin() + 1, words.end(),
                            [](const std::string& w) { return w.size() == 2 && w[0] == '%'; });
                    }
                } else if (key == "StartupWMClass") {
                    entry.wmClass = value;
                } else if (key == "NoDisplay") {
                    entry.noDisplay = value == "true";
                } else if (key == "Hidden") {
                    hidden = value == "true";
                } else if (key == "Type") {
                    application = value == "Application";
                }
            }
            if (valid && !hidden && application) {
                entries_.push_back(std::move(entry));
            }
        }
    }
}

std::optional<std::string> DesktopEntries::idForApplicationName(const std::string& name) {
    if (!loaded_) {
        load();
    }
    if (name.empty()) {
        return std::nullopt;
    }
    const Entry* best = nullptr;
    auto rank = [](const Entry& e) { return (e.plainExec ? 0 : 2) + (e.noDisplay ? 1 : 0); };
    for (const auto& entry : entries_) {
        if (entry.id == name) {
            return entry.id;
        }
        if (entry.wmClass != name && entry.program != name) {
            continue;
        }
        if (best == nullptr || rank(entry) < rank(*best) ||
            (rank(entry) == rank(*best) && entry.id < best->id)) {
            best = &entry;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return best->id;
}

std::optional<std::string> bundleIdentifierForName(DesktopEntries& entries,
                                                   const std::string& name) {
    if (name.empty()) {
        return std::nullopt;
    }
    if (auto id = entries.idForApplicationName(name)) {
        return id;
    }
    return name;
}

}  // namespace kivora::linux_::atspi
