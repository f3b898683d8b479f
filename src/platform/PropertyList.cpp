// Property lists over libplist: parsing (after the guard), reading files, serialising.
#include "platform/PropertyList.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

namespace kivora::plist {

namespace {

constexpr std::string_view kNotAPropertyList =
    "The data couldn’t be read because it isn’t in the correct format.";

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

struct CFree {
    void operator()(void* p) const { std::free(p); }
};

// libplist keeps an integer as 64 unsigned bits plus a hidden signedness; the XML writer
// reveals it, and only values with the top bit set need asking.
bool isNegativeInteger(plist_t node) {
    PlistPtr copy(plist_copy(node));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(copy.get(), &xml, &length);
    if (xml == nullptr) {
        return false;
    }
    const bool negative =
        std::string_view(xml, length).find("<integer>-") != std::string_view::npos;
    plist_to_xml_free(xml);
    return negative;
}

Value fromUnsigned(std::uint64_t v) {
    if (v <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return Value(static_cast<std::int64_t>(v));
    }
    return Value(static_cast<double>(v));
}

// Text as UTF-8, whatever the file held: libplist passes on the bytes of a binary "ASCII"
// string and of an XML string as they are, and everything downstream (log lines, the bus)
// takes strings to be UTF-8. Each ill-formed sequence becomes U+FFFD.
std::string utf8Text(const char* s, std::size_t length) {
    std::string out;
    out.reserve(length);
    std::size_t i = 0;
    while (i < length) {
        const auto lead = static_cast<unsigned char>(s[i]);
        std::size_t size = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            size = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            size = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            size = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
            high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            size = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing beyond U+10FFFF
        }
        std::size_t valid = size == 0 ? 0 : 1;
        while (valid > 0 && valid < size && i + valid < length) {
            const auto c = static_cast<unsigned char>(s[i + valid]);
            if (c < (valid == 1 ? low : 0x80) || c > (valid == 1 ? high : 0xBF)) {
                break;
            }
            ++valid;
        }
        if (size != 0 && valid == size) {
            out.append(s + i, size);
            i += size;
        } else {
            out += "\xEF\xBF\xBD";
            i += valid == 0 ? 1 : valid;  // the maximal ill-formed part
        }
    }
    return out;
}

// Recursion is bounded: the guard admitted at most kMaxXmlNesting levels.
std::optional<Value> convert(plist_t node, int depth) {
    if (node == nullptr || depth > kMaxXmlNesting + 1) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return Value(b != 0);
        }
        case PLIST_UINT: {
            std::uint64_t v = 0;
            plist_get_uint_val(node, &v);
            if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) &&
                isNegativeInteger(node)) {
                return Value(static_cast<std::int64_t>(v));
            }
            return fromUnsigned(v);
        }
        case PLIST_UID: {
            std::uint64_t v = 0;
            plist_get_uid_val(node, &v);
            return fromUnsigned(v);
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return Value(d);
        }
        case PLIST_DATE: {
            std::int32_t sec = 0;
            std::int32_t usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return Value(static_cast<double>(sec) + static_cast<double>(usec) / 1e6);
        }
        case PLIST_STRING: {
            std::uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            return Value(s != nullptr ? utf8Text(s, length) : std::string());
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* d = plist_get_data_ptr(node, &length);
            Data data;
            if (d != nullptr) {
                data.bytes.assign(reinterpret_cast<const std::uint8_t*>(d),
                                  reinterpret_cast<const std::uint8_t*>(d) + length);
            }
            return Value(std::move(data));
        }
        case PLIST_ARRAY: {
            Array out;
            const std::uint32_t size = plist_array_get_size(node);
            out.reserve(size);
            for (std::uint32_t i = 0; i < size; ++i) {
                auto item = convert(plist_array_get_item(node, i), depth + 1);
                if (!item) {
                    return std::nullopt;
                }
                out.push_back(std::move(*item));
            }
            return Value(std::move(out));
        }
        case PLIST_DICT: {
            Dictionary out;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            std::unique_ptr<void, CFree> iter(it);
            while (true) {
                char* rawKey = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &rawKey, &item);
                std::unique_ptr<char, CFree> key(rawKey);
                if (item == nullptr) {
                    break;
                }
                auto value = convert(item, depth + 1);
                if (!value || !key) {
                    return std::nullopt;
                }
                // Keys usually come sorted: append at the end then, without a search.
                std::string name = utf8Text(key.get(), std::strlen(key.get()));
                if (out.empty() || out.rbegin()->first < name) {
                    out.emplace_hint(out.end(), std::move(name), std::move(*value));
                } else {
                    out.insert_or_assign(std::move(name), std::move(*value));
                }
            }
            return Value(std::move(out));
        }
        default:
            return std::nullopt;
    }
}

ParseResult failure(Problem problem, std::string error) {
    return ParseResult{std::nullopt, std::move(error), problem};
}

std::string displayName(const std::string& path) {
    return "“" + std::filesystem::path(path).filename().string() + "”";
}

// Builds a libplist tree; null when something cannot be represented.
plist_t toPlist(const Value& value, int depth) {
    if (depth > kMaxXmlNesting) {
        return nullptr;
    }
    return std::visit(
        [&](const auto& v) -> plist_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return nullptr;
            } else if constexpr (std::is_same_v<T, bool>) {
                return plist_new_bool(v ? 1 : 0);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return plist_new_uint(static_cast<std::uint64_t>(v));
            } else if constexpr (std::is_same_v<T, double>) {
                return plist_new_real(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return v.find('\0') == std::string::npos ? plist_new_string(v.c_str()) : nullptr;
            } else if constexpr (std::is_same_v<T, Data>) {
                return plist_new_data(reinterpret_cast<const char*>(v.bytes.data()),
                                      v.bytes.size());
            } else if constexpr (std::is_same_v<T, Array>) {
                if (depth + 1 > kMaxXmlNesting) {
                    return nullptr;
                }
                PlistPtr array(plist_new_array());
                for (const Value& item : v) {
                    plist_t node = toPlist(item, depth + 1);
                    if (node == nullptr) {
                        return nullptr;
                    }
                    plist_array_append_item(array.get(), node);
                }
                return array.release();
            } else {
                if (depth + 1 > kMaxXmlNesting) {
                    return nullptr;
                }
                PlistPtr dict(plist_new_dict());
                for (const auto& [key, item] : v) {
                    plist_t node =
                        key.find('\0') == std::string::npos ? toPlist(item, depth + 1) : nullptr;
                    if (node == nullptr) {
                        return nullptr;
                    }
                    plist_dict_set_item(dict.get(), key.c_str(), node);
                }
                return dict.release();
            }
        },
        value.storage());
}

}  // namespace

ParseResult parse(std::string_view bytes) {
    if (auto refusal = guard(bytes)) {
        return failure(Problem::refused, std::move(*refusal));
    }
    plist_t raw = nullptr;
    if (bytes.substr(0, 6) == "bplist") {
        plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
    } else {
        // The library does not expect a byte-order mark; the text after it is the document.
        const std::string_view text = bytes.substr(bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0);
        plist_from_xml(text.data(), static_cast<std::uint32_t>(text.size()), &raw);
    }
    PlistPtr root(raw);
    if (!root) {
        return failure(Problem::malformed, std::string(kNotAPropertyList));
    }
    auto value = convert(root.get(), 0);
    if (!value) {
        return failure(Problem::malformed, std::string(kNotAPropertyList));
    }
    return ParseResult{std::move(value), {}, Problem::none};
}

FileBytes readFile(const std::string& path) {
    const std::string name = displayName(path);
    auto failed = [&](Problem problem, std::string_view why) {
        return FileBytes{std::nullopt, "The file " + name + " couldn’t be " + std::string(why),
                         problem};
    };
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        return failed(Problem::noSuchFile, "opened because there is no such file.");
    }
    if (ec) {
        return failed(Problem::unreadable, "opened (" + ec.message() + ").");
    }
    if (status.type() == std::filesystem::file_type::directory) {
        return failed(Problem::unreadable, "opened because it is a folder.");
    }
    if (status.type() != std::filesystem::file_type::regular) {
        return failed(Problem::unreadable, "opened because it isn’t a regular file.");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return failed(Problem::unreadable, "opened because you don’t have permission to view it.");
    }
    std::string bytes;
    char chunk[16 * 1024];
    while (bytes.size() <= kMaxFileBytes && in) {
        const std::size_t want = std::min(sizeof chunk, kMaxFileBytes + 1 - bytes.size());
        in.read(chunk, static_cast<std::streamsize>(want));
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return failed(Problem::unreadable, "read.");
    }
    return FileBytes{std::move(bytes), {}, Problem::none};
}

ParseResult parseFile(const std::string& path) {
    FileBytes file = readFile(path);
    if (!file.bytes) {
        return failure(file.problem, std::move(file.error));
    }
    return parse(*file.bytes);
}

std::optional<std::string> serialize(const Value& value, Format format) {
    PlistPtr root(toPlist(value, 0));
    if (!root) {
        return std::nullopt;
    }
    char* out = nullptr;
    std::uint32_t length = 0;
    if (format == Format::xml) {
        plist_to_xml(root.get(), &out, &length);
    } else {
        plist_to_bin(root.get(), &out, &length);
    }
    if (out == nullptr) {
        return std::nullopt;
    }
    std::string text(out, length);
    if (format == Format::xml) {
        plist_to_xml_free(out);
    } else {
        plist_to_bin_free(out);
    }
    return text;
}

}  // namespace kivora::plist
