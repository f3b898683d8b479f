#include "platform/linux/FilePreferences.h"
// STUB: to be implemented.
namespace kivora::linux_ {
FilePreferences::FilePreferences() = default;
FilePreferences::FilePreferences(std::string home) : home_(std::move(home)) {}
bool FilePreferences::appSynchronize(std::string_view) { return true; }
std::optional<Value> FilePreferences::copyAppValue(std::string_view, std::string_view) { return {}; }
}  // namespace kivora::linux_
