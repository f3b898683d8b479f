#pragma once
// Port: the per-application preference domains of the current user.

#include <optional>
#include <string_view>

#include "messaging/Value.h"

namespace kivora {

class Preferences {
public:
    virtual ~Preferences() = default;

    // Makes the next reads see the domain as it is stored now. Returns false when the domain
    // cannot be read (a missing domain is not an error).
    virtual bool appSynchronize(std::string_view applicationID) = 0;
    // The value of `key` in the domain, or none when the key, the domain, or a readable
    // domain file is missing.
    virtual std::optional<Value> copyAppValue(std::string_view key,
                                              std::string_view applicationID) = 0;
};

}  // namespace kivora
