#pragma once
// Received values printed as JSON for machines (`--json`).

#include <string>

#include "messaging/Value.h"

namespace kivoractl {

// Indented JSON text of `value`. Invalid UTF-8 becomes U+FFFD, data an array of byte values,
// a non-finite real null.
std::string toJsonText(const kivora::Value& value);

}  // namespace kivoractl
