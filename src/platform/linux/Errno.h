#pragma once
// Adapters report a failed system or sd-* call as a negative errno (as sd-bus does); this
// turns one into text for a diagnostic.

#include <string>

namespace kivora::linux_ {

// "No such file or directory" for -ENOENT.
std::string errnoText(int negativeErrno);

}  // namespace kivora::linux_
