#pragma once
// Port: the helper's own log lines on standard output.

#include <string_view>

namespace kivora {

class Console {
public:
    virtual ~Console() = default;
    // Writes `line` and one line feed, and flushes at once.
    virtual void writeLine(std::string_view line) = 0;
};

}  // namespace kivora
