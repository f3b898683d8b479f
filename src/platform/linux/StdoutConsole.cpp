#include "platform/linux/StdoutConsole.h"

#include <string>

#include "platform/linux/OutputPump.h"

namespace kivora::linux_ {

void StdoutConsole::writeLine(std::string_view line) {
    std::string whole;
    whole.reserve(line.size() + 1);
    whole.append(line);
    whole += '\n';
    queueOutput(OutputStream::standardOutput, std::move(whole));
}

}  // namespace kivora::linux_
