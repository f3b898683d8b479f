#pragma once
// Hand-made binary property lists (deep chains, cycles, shared subtrees, lying trailers: shapes
// no well-behaved writer produces) and a temporary folder for files.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace kivora::plisttest {

inline std::string bigEndian(std::uint64_t v, std::size_t width) {
    std::string out(width, '\0');
    for (std::size_t i = 0; i < width; ++i) {
        out[width - 1 - i] = static_cast<char>(v >> (8 * i));
    }
    return out;
}

// Objects are raw bytes; containers refer to other objects by index (2-byte references).
struct BinaryPlist {
    std::vector<std::string> objects;

    std::uint64_t add(std::string object) {
        objects.push_back(std::move(object));
        return objects.size() - 1;
    }
    static std::string container(std::uint8_t type, std::size_t count,
                                 const std::vector<std::uint64_t>& refs) {
        std::string out = count < 15 ? std::string(1, static_cast<char>(type | count))
                                     : std::string(1, static_cast<char>(type | 0x0F)) + "\x13" +
                                           bigEndian(count, 8);
        for (auto r : refs) {
            out += bigEndian(r, 2);
        }
        return out;
    }
    static std::string array(const std::vector<std::uint64_t>& refs) {
        return container(0xA0, refs.size(), refs);
    }
    static std::string dict(std::vector<std::uint64_t> keys,
                            const std::vector<std::uint64_t>& values) {
        const std::size_t count = keys.size();
        keys.insert(keys.end(), values.begin(), values.end());
        return container(0xD0, count, keys);
    }
    static std::string ascii(const std::string& s) {
        return std::string(1, static_cast<char>(0x50 | s.size())) + s;  // shorter than 15
    }
    static std::string integer(std::uint64_t v) { return "\x13" + bigEndian(v, 8); }

    // The file; `declaredCount` overrides the object count written into the trailer.
    std::string bytes(std::uint64_t top = 0, std::int64_t declaredCount = -1) const {
        std::string out = "bplist00";
        std::string table;
        for (const auto& object : objects) {
            table += bigEndian(out.size(), 4);
            out += object;
        }
        const std::uint64_t count =
            declaredCount < 0 ? objects.size() : static_cast<std::uint64_t>(declaredCount);
        return out + table + std::string(6, '\0') + "\x04\x02" + bigEndian(count, 8) +
               bigEndian(top, 8) + bigEndian(out.size(), 8);
    }
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::random_device random;
        do {
            path_ = std::filesystem::temp_directory_path() /
                    ("kivora-test-" + std::to_string(random()) + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
    }
    ~TemporaryFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string write(const std::string& relative, const std::string& bytes) const {
        const auto file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        return file.string();
    }

private:
    std::filesystem::path path_;
};

}  // namespace kivora::plisttest
