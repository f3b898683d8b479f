#include "platform/linux/StdoutConsole.h"

#include <string>

#include <unistd.h>

#include "platform/linux/WriteAll.h"

namespace kivora::linux_ {

void StdoutConsole::writeLine(std::string_view line) {
    std::string whole;
    whole.reserve(line.size() + 1);
    whole.append(line);
    whole += '\n';
    writeAll(STDOUT_FILENO, whole);
}

}  // namespace kivora::linux_
