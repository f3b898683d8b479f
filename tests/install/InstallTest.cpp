// The installed tree: `cmake --install` into a temporary prefix lays out the helper with its
// bundle beside it, kivoractl, and service files that name the installed helper; the helper
// run from there serves from its own bundle, and the installed client drives it.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e/support/E2e.h"

namespace kivora::e2e {
namespace {

namespace fs = std::filesystem;

std::string underPrefix(const std::string& prefix, const std::string& dir) {
    return fs::path(dir).is_absolute() ? dir : prefix + "/" + dir;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The value of the first line "key=value" in a unit or service file; "" when there is none.
std::string entry(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + "=", 0) == 0) {
            return line.substr(key.size() + 1);
        }
    }
    return "";
}

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR);
}

RunResult install(const std::string& prefix) {
    return runProcess(ProcessSpec{KIVORA_CMAKE_COMMAND,
                                  {"--install", KIVORA_BUILD_DIR, "--prefix", prefix},
                                  {{"DESTDIR", std::nullopt}}},
                      Duration(60000));
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

std::size_t recordsIn(const Notification& reply, const std::string& key) {
    const auto it = reply.userInfo.find(key);
    if (it == reply.userInfo.end() || !it->second.isArray()) {
        return 0;
    }
    std::size_t records = 0;
    for (const Value& entry : it->second.asArray()) {
        records += entry.isDictionary() ? 1 : 0;
    }
    return records;
}

const char* const kNoHotKeys = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>AppleSymbolicHotKeys</key><dict/></dict></plist>
)";

class InstalledTree : public ::testing::Test {
protected:
    void SetUp() override {
        const RunResult result = install(prefix_.path());
        ASSERT_TRUE(result.status.exitedWith(0)) << result.status << "\n"
                                                 << joined(result.out) << joined(result.err);
    }

    std::string helperDir() const {
        return underPrefix(prefix_.path(), KIVORA_INSTALL_LIBEXECDIR) + "/kivora";
    }
    std::string helper() const { return helperDir() + "/KivoraData"; }
    std::string bundle() const { return helperDir() + "/KivoraData.bundle"; }
    std::string kivoractl() const {
        return underPrefix(prefix_.path(), KIVORA_INSTALL_BINDIR) + "/kivoractl";
    }
    std::string serviceFile() const {
        return underPrefix(prefix_.path(), KIVORA_INSTALL_DATADIR) +
               "/dbus-1/services/org.morvane.Kivora.KivoraData.service";
    }
    std::string unitFile() const { return prefix_.path() + "/lib/systemd/user/kivoradata.service"; }

    // The installed helper on the private bus, serving the installed demo desktop. Its home
    // holds symbolic hot keys without a single entry, so every system shortcut falls back to
    // the default file in the bundle.
    std::unique_ptr<ChildProcess> startHelper() {
        home_.write("Library/Preferences/com.apple.symbolichotkeys.plist", kNoHotKeys);
        auto process = std::make_unique<ChildProcess>(
            ProcessSpec{helper(),
                        {"--desktop", bundle() + "/Resources/demo-desktop.json"},
                        {{"DBUS_SESSION_BUS_ADDRESS", bus_.address()}, {"HOME", home_.path()}}});
        TestClient client(bus_);
        EXPECT_TRUE(client.waitForName(kHelperBusName)) << process->describe();
        EXPECT_EQ(client.nameOwnerPid(kHelperBusName), process->pid());
        return process;
    }

    RunResult runInstalledKivoractl(const std::vector<std::string>& args) {
        return runProcess(
            ProcessSpec{kivoractl(), args, {{"DBUS_SESSION_BUS_ADDRESS", bus_.address()}}});
    }

    TempDir prefix_;
    TempDir home_;
    PrivateBus bus_;
};

TEST_F(InstalledTree, LaysOutTheHelperWithItsBundleTheClientAndServiceFilesNamingIt) {
    EXPECT_TRUE(isExecutableFile(helper()));
    EXPECT_TRUE(isExecutableFile(kivoractl()));
    EXPECT_TRUE(fs::is_regular_file(bundle() + "/Info.plist"));
    EXPECT_TRUE(fs::is_regular_file(bundle() + "/Resources/com.apple.symbolichotkeys.plist"));
    EXPECT_TRUE(fs::is_regular_file(bundle() + "/Resources/demo-desktop.json"));

    // The installed path, not the build tree's and not the configured prefix's.
    const std::string unit = readFile(unitFile());
    EXPECT_EQ(entry(unit, "ExecStart"), helper()) << unit;
    EXPECT_EQ(entry(unit, "BusName"), kHelperBusName);
    const std::string documentation = entry(unit, "Documentation");
    ASSERT_EQ(documentation.rfind("file://", 0), 0u) << unit;
    EXPECT_TRUE(fs::is_regular_file(documentation.substr(7))) << documentation;

    const std::string service = readFile(serviceFile());
    EXPECT_EQ(entry(service, "Exec"), helper()) << service;
    EXPECT_EQ(entry(service, "Name"), kHelperBusName);
    EXPECT_EQ(entry(service, "SystemdService"), "kivoradata.service");
}

TEST_F(InstalledTree, HelperServesFromItsOwnBundleAndTheInstalledClientEndsIt) {
    auto process = startHelper();
    TestClient client(bus_);

    client.post("GetCurrentShortcut", kHelperObject);
    const auto sheet = client.waitFor("GetCurrentShortcutResponse");
    ASSERT_TRUE(sheet) << process->describe();
    EXPECT_GT(recordsIn(*sheet, "currentShortcut"), 0u);

    // Every system shortcut comes from the default file in the bundle beside the installed
    // executable.
    client.post("GetSystemShortcut", kHelperObject);
    const auto system = client.waitFor("getSystemShortcutResponse");
    ASSERT_TRUE(system) << process->describe();
    EXPECT_GT(recordsIn(*system, "systemShortcut"), 0u);

    const RunResult current = runInstalledKivoractl({"current"});
    EXPECT_TRUE(current.status.exitedWith(0)) << current.status << "\n" << joined(current.err);
    EXPECT_FALSE(current.out.empty());

    const RunResult quit = runInstalledKivoractl({"quit"});
    EXPECT_TRUE(quit.status.exitedWith(0)) << quit.status << "\n" << joined(quit.err);
    EXPECT_TRUE(process->waitForExit().exitedWith(0)) << process->describe();
    EXPECT_TRUE(process->stderrLines().empty()) << process->describe();
}

TEST_F(InstalledTree, HelperReadsTheBundleBesideItNotTheBuildTrees) {
    // Without the default file in the installed bundle there is nothing to name the system
    // shortcuts from, although the build tree still has it.
    fs::remove(bundle() + "/Resources/com.apple.symbolichotkeys.plist");
    ASSERT_TRUE(fs::is_regular_file(std::string(KIVORA_BUNDLE_DIR) +
                                    "/Resources/com.apple.symbolichotkeys.plist"));
    auto process = startHelper();
    TestClient client(bus_);
    client.post("GetSystemShortcut", kHelperObject);
    const auto system = client.waitFor("getSystemShortcutResponse");
    ASSERT_TRUE(system) << process->describe();
    EXPECT_EQ(recordsIn(*system, "systemShortcut"), 0u) << process->describe();
    client.post("TerminateSubApp", kHelperObject);
    EXPECT_TRUE(process->waitForExit().exitedWith(0)) << process->describe();
}

TEST(InstallPrefix, APathTheServiceFilesCannotCarryIsRefusedClearly) {
    TempDir base;
    const std::string prefix = base.path() + "/with space";
    const RunResult result = install(prefix);
    EXPECT_FALSE(result.status.exitedWith(0)) << result.status;
    EXPECT_NE(joined(result.err).find("choose another --prefix"), std::string::npos)
        << joined(result.err);
    EXPECT_FALSE(fs::exists(prefix)) << "installed in part before refusing";
}

}  // namespace
}  // namespace kivora::e2e
