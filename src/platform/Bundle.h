#pragma once
// Port: the helper's own application bundle.

#include <optional>
#include <string>
#include <string_view>

namespace kivora {

class Bundle {
public:
    virtual ~Bundle() = default;

    // The bundle identifier from the bundle's information file; none when it has none.
    virtual std::optional<std::string> bundleIdentifier() const = 0;
    // The full path of resource `name` of type `type` (file "name.type" in the resources), or
    // none when there is no such file.
    virtual std::optional<std::string> pathForResource(std::string_view name,
                                                       std::string_view type) const = 0;
};

}  // namespace kivora
