#pragma once
// Reading a property-list file by path without a window between checking and opening it: a
// FIFO or device swapped in over the path can neither block the helper nor be read.

#include <string>

#include "platform/PropertyList.h"

namespace kivora::linux_ {

// Like plist::readFile, but the file is opened without blocking, a final symbolic link is
// followed only to a regular file, and the kind of file is judged on the open descriptor.
plist::FileBytes readRegularFile(const std::string& path);

// readRegularFile, then parse.
plist::ParseResult parseRegularFile(const std::string& path);

}  // namespace kivora::linux_
