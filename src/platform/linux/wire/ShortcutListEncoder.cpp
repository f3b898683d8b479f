// The shortcut lists written straight into the Post signal: the wire form of toArray(list)
// without building it, since a map per record is most of what a large reply costs.
#include "platform/linux/wire/DBusNotificationCodec.h"

namespace kivora::linux_::wire {

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

// Sizes and replacements counted exactly as encodePost counts the property-list form, so
// that both cut a list at the same record.
struct Sizer {
    std::size_t bytes = 0;
    std::size_t replaced = 0;

    // A string value or key; past the size limit strings are no longer validated.
    std::size_t string(std::string_view s) {
        std::size_t size = s.size() + kOverheadPerValue;
        if (bytes + size <= kMaxPostBytes && !isWireString(s)) {
            ++replaced;
            size += sendableString(s).size() - s.size();
        }
        bytes += size;
        return size;
    }

    // An entry of the list as a value inside it.
    std::size_t entry(const ShortcutEntry& entry) {
        const std::size_t before = bytes;
        bytes += kOverheadPerValue;
        if (const auto* header = std::get_if<std::string>(&entry)) {
            string(*header);
        } else {
            std::visit(
                [&](const auto& record) {
                    if constexpr (!std::is_same_v<std::decay_t<decltype(record)>, std::string>) {
                        forEachField(record, [&](std::string_view field, const std::string& text) {
                            string(field);
                            bytes += kOverheadPerValue;
                            string(text);
                        });
                    }
                },
                entry);
        }
        return bytes - before;
    }
};

bool isRecord(const ShortcutEntry& entry) {
    return !std::holds_alternative<std::string>(entry);
}

int appendStringVariant(sd_bus_message* m, const std::string& text) {
    int r = sd_bus_message_open_container(m, 'v', "s");
    if (r >= 0) {
        r = appendString(m, text);
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

template <typename Record>
int appendRecord(sd_bus_message* m, const Record& record) {
    int r = sd_bus_message_open_container(m, 'v', "a{sv}");
    if (r >= 0) {
        r = sd_bus_message_open_container(m, 'a', "{sv}");
    }
    forEachField(record, [&](std::string_view field, const std::string& text) {
        if (r >= 0) {
            r = sd_bus_message_open_container(m, 'e', "sv");
        }
        if (r >= 0) {
            r = sd_bus_message_append_basic(m, 's', field.data());  // literals: NUL-terminated
        }
        if (r >= 0) {
            r = appendStringVariant(m, text);
        }
        if (r >= 0) {
            r = sd_bus_message_close_container(m);
        }
    });
    if (r >= 0) {
        r = sd_bus_message_close_container(m);
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

// The user info {key: list}, leaving out the records from `firstLeftOut` on.
int appendUserInfo(sd_bus_message* m, const std::string& key, const ShortcutList& list,
                   std::size_t firstLeftOut) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    if (r >= 0) {
        r = sd_bus_message_open_container(m, 'e', "sv");
    }
    if (r >= 0) {
        r = appendString(m, key);
    }
    if (r >= 0) {
        r = sd_bus_message_open_container(m, 'v', "av");
    }
    if (r >= 0) {
        r = sd_bus_message_open_container(m, 'a', "v");
    }
    std::size_t records = 0;
    for (const ShortcutEntry& entry : list) {
        if (r < 0) {
            return r;
        }
        if (const auto* header = std::get_if<std::string>(&entry)) {
            r = appendStringVariant(m, *header);
        } else if (records++ < firstLeftOut) {
            r = std::visit(
                [&](const auto& record) {
                    if constexpr (std::is_same_v<std::decay_t<decltype(record)>, std::string>) {
                        return 0;
                    } else {
                        return appendRecord(m, record);
                    }
                },
                entry);
        }
    }
    for (int open = 0; open < 4 && r >= 0; ++open) {
        r = sd_bus_message_close_container(m);
    }
    return r;
}

}  // namespace

EncodeResult encodeShortcutListPost(sd_bus* bus, const std::string& name,
                                    const std::optional<std::string>& object,
                                    const std::string& key, const ShortcutList& list) {
    EncodeResult result;
    Sizer sizer;
    sizer.string(name);
    if (object) {
        sizer.string(*object);
    }
    const std::size_t fixedBytes = sizer.bytes;
    sizer.string(key);
    sizer.bytes += kOverheadPerValue;
    std::size_t records = 0;
    for (const ShortcutEntry& entry : list) {
        sizer.entry(entry);
        records += isRecord(entry) ? 1 : 0;
    }

    std::size_t kept = records;
    if (sizer.bytes > kMaxPostBytes) {
        // Headers and the application title always go; records from the front while they fit.
        Sizer cut{fixedBytes + key.size() + 2 * kOverheadPerValue, 0};
        for (const ShortcutEntry& entry : list) {
            if (!isRecord(entry)) {
                Sizer alone;
                cut.bytes += alone.entry(entry);
            }
        }
        if (cut.bytes > kMaxPostBytes) {
            result.error = "the notification is too large for the bus (about " +
                           std::to_string(sizer.bytes / kMiB) + " MiB, at most " +
                           std::to_string(kMaxPostBytes / kMiB) + " MiB)";
            return result;
        }
        kept = 0;
        for (const ShortcutEntry& entry : list) {
            if (isRecord(entry)) {
                Sizer alone;
                const std::size_t size = alone.entry(entry);
                if (cut.bytes + size > kMaxPostBytes) {
                    break;
                }
                cut.bytes += size;
                ++kept;
            }
        }
        result.warnings.push_back(
            "too large for the bus (at most " + std::to_string(kMaxPostBytes / kMiB) +
            " MiB): sent " + std::to_string(kept) + " of " + std::to_string(records) + " records");
    }
    if (sizer.replaced > 0) {
        result.warnings.push_back("sent U+FFFD for the characters the bus refuses in " +
                                  std::to_string(sizer.replaced) + " strings");
    }

    MessagePtr message = newPost(bus, name, object, result.error);
    if (message) {
        const int appended = appendUserInfo(message.get(), key, list, kept);
        finishPost(appended, std::move(message), result);
    }
    return result;
}

}  // namespace kivora::linux_::wire
