// The system shortcut catalogue over a random preferences file and a random default file, both
// read from disk by the real readers. Either file is raw bytes, or a hot-keys dictionary
// written as XML or binary and then perhaps damaged. The list and the pairs must agree.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "FuzzHotKeys.h"
#include "FuzzInput.h"
#include "fakes/FakeBundle.h"
#include "fakes/FakeConsole.h"
#include "keys/KeyManager.h"
#include "platform/PropertyList.h"
#include "platform/linux/FilePreferences.h"
#include "system/SystemShortcutCatalogue.h"

namespace {

using namespace kivora;
using kivora::fuzz::FuzzInput;

std::filesystem::path home;

void removeHome() {
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
}

// The bytes of one file, or none for no file.
std::optional<std::string> fileBytes(FuzzInput& in) {
    switch (in.byte() % 4) {
        case 0:
            return std::nullopt;
        case 1:
            return in.bytes(in.u16());
        default: {
            Value root = in.below(8) == 0
                             ? fuzz::plainValue(in, 2)
                             : Value(Dictionary{{"AppleSymbolicHotKeys", fuzz::hotKeys(in)}});
            const auto format = in.flag() ? plist::Format::binary : plist::Format::xml;
            std::string bytes = plist::serialize(root, format).value_or(std::string());
            for (std::size_t flips = in.below(8) < 6 ? 0 : 1 + in.below(4);
                 flips > 0 && !bytes.empty(); --flips) {
                const std::size_t at = in.u16() % bytes.size();
                bytes[at] = static_cast<char>(bytes[at] ^ (1 + in.below(255)));
            }
            return bytes;
        }
    }
}

void write(const std::filesystem::path& path, const std::optional<std::string>& bytes) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    if (bytes) {
        std::ofstream(path, std::ios::binary)
            .write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    }
}

void checkHarvest(const SystemShortcutHarvest& harvest) {
    std::size_t records = 0;
    for (const Value& entry : toArray(harvest.list)) {
        if (entry.isString()) {
            continue;
        }
        FUZZ_CHECK(entry.isDictionary() && entry.asDictionary().size() == 3);
        for (const char* key : {"Title", "Modifier", "key"}) {
            const Value* v = entry.find(key);
            FUZZ_CHECK(v != nullptr && v->isString());
        }
        FUZZ_CHECK(entry.find("key")->asString() != "??");
        const KeyCodeAndFlags& pair = harvest.pairs.at(records);
        FUZZ_CHECK(KeyManager::shared().keyNameForKeyCode(pair.keyCode) ==
                   entry.find("key")->asString());
        ++records;
    }
    FUZZ_CHECK(records == harvest.pairs.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/kivora-fuzz-catalogue-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    home = pattern;
    std::filesystem::create_directories(home / "Library/Preferences");
    std::atexit(removeHome);
    // The preferences reader reports every bad file on standard error; here every file is.
    std::cerr.rdbuf(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const auto preferencesFile = home / "Library/Preferences/com.apple.symbolichotkeys.plist";
    const auto defaultFile = home / "default.plist";
    write(preferencesFile, fileBytes(in));
    write(defaultFile, fileBytes(in));

    linux_::FilePreferences preferences(home.string());
    fake::FakeBundle bundle;
    bundle.resources["com.apple.symbolichotkeys.plist"] = defaultFile.string();
    fake::FakeConsole console;
    const SystemShortcutHarvest harvest = readSystemShortcuts(preferences, bundle, console);
    checkHarvest(harvest);
    for (const std::string& line : console.lines) {
        FUZZ_CHECK(line.find('\n') == std::string::npos);
    }
    return 0;
}
