#pragma once
// Received values printed as JSON for machines (`--json`).

#include <string>

#include "messaging/Value.h"

namespace kivoractl {

// JSON text of `value`, indented or (`compact`) on one line. Invalid UTF-8 becomes U+FFFD,
// data an array of byte values, a non-finite real null.
std::string toJsonText(const kivora::Value& value, bool compact = false);

}  // namespace kivoractl
