#include "platform/linux/FilePreferences.h"

#include <cstdlib>
#include <iostream>

#include "platform/PropertyList.h"
#include "platform/linux/RegularFile.h"

namespace kivora::linux_ {

namespace {

std::string homeFromEnvironment() {
    const char* home = std::getenv("HOME");
    return home != nullptr ? std::string(home) : std::string();
}

// One line, whatever the names in it hold.
void diagnose(std::string what) {
    for (char& c : what) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = '?';
        }
    }
    std::cerr << "KivoraData: preferences: " << what << std::endl;
}

}  // namespace

FilePreferences::FilePreferences() : home_(homeFromEnvironment()) {}

FilePreferences::FilePreferences(std::string home) : home_(std::move(home)) {}

std::optional<std::string> FilePreferences::pathForDomain(std::string_view applicationID) const {
    // A domain is one file name: nothing that could leave the Preferences folder.
    if (home_.empty() || applicationID.empty() || applicationID.size() > 255 ||
        applicationID.front() == '.' || applicationID.find('/') != std::string_view::npos ||
        applicationID.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    return home_ + "/Library/Preferences/" + std::string(applicationID) + ".plist";
}

bool FilePreferences::appSynchronize(std::string_view applicationID) {
    std::optional<Value>& domain = domains_.try_emplace(std::string(applicationID)).first->second;
    domain.reset();
    if (home_.empty()) {
        return true;  // no home folder: no preferences, which is no error
    }
    const auto path = pathForDomain(applicationID);
    if (!path) {
        diagnose("ignoring the domain \"" + std::string(applicationID.substr(0, 255)) +
                 "\": it cannot be a file name.");
        return false;
    }
    plist::ParseResult parsed = parseRegularFile(*path);
    if (parsed.problem == plist::Problem::noSuchFile) {
        return true;
    }
    if (!parsed.value) {
        diagnose("ignoring " + *path + ": " + parsed.error);
        return false;
    }
    if (!parsed.value->isDictionary()) {
        diagnose("ignoring " + *path + ": its top level is not a dictionary.");
        return false;
    }
    domain = std::move(parsed.value);
    return true;
}

std::optional<Value> FilePreferences::copyAppValue(std::string_view key,
                                                   std::string_view applicationID) {
    auto it = domains_.find(applicationID);
    if (it == domains_.end()) {
        appSynchronize(applicationID);
        it = domains_.find(applicationID);
    }
    if (!it->second) {
        return std::nullopt;
    }
    const Value* value = it->second->find(key);
    return value != nullptr ? std::optional<Value>(*value) : std::nullopt;
}

}  // namespace kivora::linux_
