#include "platform/linux/DirectoryBundle.h"

#include <filesystem>
#include <system_error>

#include "platform/PropertyList.h"
#include "platform/linux/RegularFile.h"

namespace kivora::linux_ {

DirectoryBundle::DirectoryBundle(std::string path) : path_(std::move(path)) {
    const plist::ParseResult info = parseRegularFile(path_ + "/Info.plist");
    if (info.value) {
        if (const Value* identifier = info.value->find("CFBundleIdentifier");
            identifier != nullptr && identifier->isString()) {
            identifier_ = identifier->asString();
        }
    }
}

std::string DirectoryBundle::defaultPath() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return "KivoraData.bundle";
    }
    return (executable.parent_path() / "KivoraData.bundle").string();
}

std::optional<std::string> DirectoryBundle::bundleIdentifier() const {
    return identifier_;
}

std::optional<std::string> DirectoryBundle::pathForResource(std::string_view name,
                                                            std::string_view type) const {
    if (name.empty() || name.find('\0') != std::string_view::npos ||
        type.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    std::string file(name);
    if (!type.empty()) {
        file += '.';
        file += type;
    }
    const std::filesystem::path relative(file);
    for (const auto& part : relative) {
        if (part == "..") {
            return std::nullopt;
        }
    }
    if (relative.is_absolute()) {
        return std::nullopt;
    }
    const std::filesystem::path full = std::filesystem::path(path_) / "Resources" / relative;
    std::error_code error;
    if (!std::filesystem::exists(full, error)) {
        return std::nullopt;
    }
    return full.string();
}

}  // namespace kivora::linux_
