// The installed tree: `cmake --install` into a temporary prefix lays out the helper with its
// bundle beside it, kivoractl, and service files that name the installed helper; the helper
// run from there serves from its own bundle, and the installed client drives it. With
// KIVORA_PACKAGE_ROOT set, the same checks run on the tree unpacked from the Debian package
// there (installed under /usr).

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
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

// The methods of the simulated desktop's interface in an introspection document, each as
// name(direction type ...), so that attribute order and comments do not matter.
std::vector<std::string> desktopMethods(const std::string& xml) {
    const auto begin = xml.find("<interface name=\"org.morvane.Kivora.SimulatedDesktop\">");
    const auto end = xml.find("</interface>", begin);
    if (begin == std::string::npos || end == std::string::npos) {
        return {};
    }
    static const std::regex element(R"(<(method|arg)\s([^>]*)>)");
    static const std::regex attribute(R"#((name|type|direction)="([^"]*)")#");
    std::vector<std::string> methods;
    const std::string block = xml.substr(begin, end - begin);
    for (std::sregex_iterator it(block.begin(), block.end(), element), last; it != last; ++it) {
        std::map<std::string, std::string> values;
        const std::string attributes = (*it)[2];
        for (std::sregex_iterator a(attributes.begin(), attributes.end(), attribute), none;
             a != none; ++a) {
            values[(*a)[1]] = (*a)[2];
        }
        if ((*it)[1] == "method") {
            methods.push_back(values["name"] + ":");
        } else if (!methods.empty()) {
            methods.back() += " " + values["direction"] + " " + values["type"];
        }
    }
    return methods;
}

class InstalledTree : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* root = std::getenv("KIVORA_PACKAGE_ROOT"); root && *root) {
            root_ = root;
            prefix_ = root_ + "/usr";
            return;
        }
        prefix_ = scratch_.path();
        const RunResult result = install(prefix_);
        ASSERT_TRUE(result.status.exitedWith(0)) << result.status << "\n"
                                                 << joined(result.out) << joined(result.err);
    }

    // Where a file of the tree lies once installed: the package's root is "/".
    std::string installedPath(const std::string& path) const { return path.substr(root_.size()); }

    std::string helperDir() const {
        return underPrefix(prefix_, KIVORA_INSTALL_LIBEXECDIR) + "/kivora";
    }
    std::string helper() const { return helperDir() + "/KivoraData"; }
    std::string bundle() const { return helperDir() + "/KivoraData.bundle"; }
    std::string kivoractl() const {
        return underPrefix(prefix_, KIVORA_INSTALL_BINDIR) + "/kivoractl";
    }
    std::string dataDir() const { return underPrefix(prefix_, KIVORA_INSTALL_DATADIR); }
    std::string serviceFile() const {
        return dataDir() + "/dbus-1/services/org.morvane.Kivora.KivoraData.service";
    }
    std::string unitFile() const { return prefix_ + "/lib/systemd/user/kivoradata.service"; }

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

    TempDir scratch_;
    std::string root_;
    std::string prefix_;
    TempDir home_;
    PrivateBus bus_;
};

TEST_F(InstalledTree, LaysOutTheHelperWithItsBundleTheClientAndServiceFilesNamingIt) {
    EXPECT_TRUE(isExecutableFile(helper()));
    EXPECT_TRUE(isExecutableFile(kivoractl()));
    EXPECT_TRUE(fs::is_regular_file(bundle() + "/Info.plist"));
    EXPECT_TRUE(fs::is_regular_file(bundle() + "/Resources/com.apple.symbolichotkeys.plist"));
    EXPECT_TRUE(fs::is_regular_file(bundle() + "/Resources/demo-desktop.json"));
    for (const char* file :
         {"/man/man1/kivoractl.1.gz", "/man/man8/KivoraData.8.gz",
          "/bash-completion/completions/kivoractl", "/zsh/vendor-completions/_kivoractl",
          "/dbus-1/interfaces/org.morvane.DistributedNotificationCenter.xml"}) {
        EXPECT_TRUE(fs::is_regular_file(dataDir() + file)) << file;
    }

    // Every program names the version the bundle carries.
    const std::string plist = readFile(bundle() + "/Info.plist");
    std::smatch version;
    ASSERT_TRUE(std::regex_search(
        plist, version, std::regex("CFBundleShortVersionString</key>\\s*<string>([^<]+)<")))
        << plist;
    for (const std::string& program : {helper(), kivoractl()}) {
        const RunResult run = runProcess(ProcessSpec{program, {"--version"}, {}});
        EXPECT_TRUE(run.status.exitedWith(0)) << program;
        EXPECT_EQ(joined(run.out),
                  fs::path(program).filename().string() + " " + version[1].str() + "\n");
    }

    // The installed path, not the build tree's and not the configured prefix's.
    const std::string unit = readFile(unitFile());
    EXPECT_EQ(entry(unit, "ExecStart"), installedPath(helper())) << unit;
    EXPECT_EQ(entry(unit, "BusName"), kHelperBusName);
    EXPECT_EQ(entry(unit, "WantedBy"), "graphical-session.target");
    const std::string documentation = entry(unit, "Documentation");
    const auto file = documentation.find("file://");
    ASSERT_NE(file, std::string::npos) << unit;
    EXPECT_TRUE(fs::is_regular_file(root_ + documentation.substr(file + 7))) << documentation;

    const std::string service = readFile(serviceFile());
    EXPECT_EQ(entry(service, "Exec"), installedPath(helper())) << service;
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

    // The control object describes itself with the methods of the installed interface file.
    const RunResult introspection =
        runProcess(ProcessSpec{"/usr/bin/gdbus",
                               {"introspect", "--session", "--xml", "--dest", kHelperBusName,
                                "--object-path", "/org/morvane/Kivora/KivoraData/Desktop"},
                               {{"DBUS_SESSION_BUS_ADDRESS", bus_.address()}}});
    const std::string live = joined(introspection.out);
    EXPECT_NE(live.find("org.freedesktop.DBus.Introspectable"), std::string::npos) << live;
    EXPECT_EQ(desktopMethods(live),
              desktopMethods(readFile(
                  dataDir() + "/dbus-1/interfaces/org.morvane.Kivora.SimulatedDesktop.xml")))
        << live;

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
