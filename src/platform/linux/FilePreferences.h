#pragma once
// Preferences from property-list files: $HOME/Library/Preferences/<domain>.plist, XML or
// binary, read afresh at every synchronize.

#include <map>
#include <string>

#include "platform/Preferences.h"

namespace kivora::linux_ {

class FilePreferences : public Preferences {
public:
    // Reads the home folder from $HOME; an empty `home` means no preferences at all.
    FilePreferences();
    explicit FilePreferences(std::string home);

    bool appSynchronize(std::string_view applicationID) override;
    std::optional<Value> copyAppValue(std::string_view key,
                                      std::string_view applicationID) override;

private:
    std::string home_;
    std::map<std::string, Value, std::less<>> domains_;  // as of the last synchronize
};

}  // namespace kivora::linux_
