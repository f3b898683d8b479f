#pragma once
// The envelope of a distributed notification: a name, an optional object string and a
// user-info dictionary. Nothing else travels.

#include <optional>
#include <string>

#include "messaging/Value.h"

namespace kivora {

struct Notification {
    std::string name;
    std::optional<std::string> object;
    Dictionary userInfo;
};

}  // namespace kivora
