#pragma once

#include <string>
#include <vector>

#include "platform/Console.h"

namespace kivora::fake {

// Collects the helper's log lines.
class FakeConsole : public Console {
public:
    void writeLine(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

}  // namespace kivora::fake
