#pragma once
// Writing a whole buffer to a file descriptor.

#include <string_view>

namespace kivora::linux_ {

// Writes every byte, retrying after interruptions and short writes. False when the descriptor
// refuses (a closed pipe, for instance); what was not written is dropped.
bool writeAll(int fd, std::string_view bytes);

}  // namespace kivora::linux_
