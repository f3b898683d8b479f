#pragma once
// Preferences from property-list files: $HOME/Library/Preferences/<domain>.plist, XML or
// binary, read afresh at every synchronize.

#include <map>
#include <optional>
#include <string>

#include "platform/Preferences.h"

namespace kivora::linux_ {

class FilePreferences : public Preferences {
public:
    // Reads the home folder from $HOME; an empty `home` means no preferences at all.
    FilePreferences();
    explicit FilePreferences(std::string home);

    // A file that is refused or cannot be parsed counts as no value, with one line on
    // standard error per synchronize that meets it; a missing file is no value, silently.
    bool appSynchronize(std::string_view applicationID) override;
    // A domain never synchronized is synchronized first.
    std::optional<Value> copyAppValue(std::string_view key,
                                      std::string_view applicationID) override;

    // The file that holds `applicationID`, or none when the name cannot be a file name.
    std::optional<std::string> pathForDomain(std::string_view applicationID) const;

private:
    std::string home_;
    // As of the last synchronize: the root dictionary, or none when there was nothing to read.
    std::map<std::string, std::optional<Value>, std::less<>> domains_;
};

}  // namespace kivora::linux_
