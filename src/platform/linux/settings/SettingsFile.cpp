#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/linux/settings/ShortcutStore.h"

namespace kivora::linux_::settings {

std::optional<std::string> readSettingsFile(const std::string& path, std::string& problem) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = errno == ENOENT ? std::string() : path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string bytes(kMaxSettingsFileBytes + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        problem = path + ": cannot be read";
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxSettingsFileBytes) {
        problem = path + ": larger than " + std::to_string(kMaxSettingsFileBytes) + " bytes";
        return std::nullopt;
    }
    return bytes;
}

}  // namespace kivora::linux_::settings
