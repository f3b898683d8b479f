#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/Preferences.h"

namespace kivora::fake {

// Domains as dictionaries in memory. A read sees `stored` only as of the last synchronize.
class FakePreferences : public Preferences {
public:
    bool appSynchronize(std::string_view applicationID) override {
        ++synchronizeCount;
        auto it = stored.find(std::string(applicationID));
        if (it == stored.end()) {
            synced_.erase(std::string(applicationID));
        } else {
            synced_[it->first] = it->second;
        }
        return true;
    }
    std::optional<Value> copyAppValue(std::string_view key,
                                      std::string_view applicationID) override {
        auto it = synced_.find(std::string(applicationID));
        if (it == synced_.end()) {
            return std::nullopt;
        }
        const Value* v = it->second.find(key);
        return v ? std::optional<Value>(*v) : std::nullopt;
    }

    std::map<std::string, Value> stored;  // domain -> root dictionary
    int synchronizeCount = 0;

private:
    std::map<std::string, Value> synced_;
};

}  // namespace kivora::fake
