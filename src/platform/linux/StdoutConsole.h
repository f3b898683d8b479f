#pragma once
// The helper's log lines on standard output, each written whole and at once.

#include "platform/Console.h"

namespace kivora::linux_ {

class StdoutConsole : public Console {
  public:
    // One write per line, line feed included, so lines never interleave with another writer
    // and a reader sees each line as soon as it is written. A line that cannot be written (the
    // reader went away) is dropped.
    void writeLine(std::string_view line) override;
};

}  // namespace kivora::linux_
