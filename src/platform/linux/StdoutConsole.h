#pragma once
// The helper's log lines on standard output, each written whole and at once.

#include "platform/Console.h"

namespace kivora::linux_ {

class StdoutConsole : public Console {
public:
    // Each line, line feed included, goes out at once when the reader keeps up, in one write
    // when it fits a pipe's atomic size, so lines never interleave with another writer. When
    // nobody reads, lines wait in a bounded backlog and then are dropped and counted (see
    // OutputPump.h); the caller never blocks. A line the reader went away from is dropped.
    void writeLine(std::string_view line) override;
};

}  // namespace kivora::linux_
