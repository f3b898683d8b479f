#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/Bundle.h"

namespace kivora::fake {

class FakeBundle : public Bundle {
public:
    std::optional<std::string> bundleIdentifier() const override { return identifier; }
    std::optional<std::string> pathForResource(std::string_view name,
                                               std::string_view type) const override {
        ++const_cast<FakeBundle*>(this)->lookups;
        auto it = resources.find(std::string(name) + "." + std::string(type));
        return it == resources.end() ? std::nullopt : std::optional<std::string>(it->second);
    }

    std::optional<std::string> identifier = std::string("org.morvane.Kivora.KivoraData");
    std::map<std::string, std::string> resources;  // "name.type" -> path
    int lookups = 0;
};

}  // namespace kivora::fake
