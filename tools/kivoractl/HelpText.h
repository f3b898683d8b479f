#pragma once
// The help texts of kivoractl. The manual page and the shell completions are generated from
// them, so every option stands on its own line as "  --name[=ARG]  text", within 80 columns.

#include <map>
#include <string>

namespace kivoractl {

// The usage of the whole tool.
const std::string& generalHelp();

// The help of each command, by command name.
const std::map<std::string, std::string, std::less<>>& commandHelp();

}  // namespace kivoractl
