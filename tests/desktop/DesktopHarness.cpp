#include "DesktopHarness.h"

#include <cstdlib>

namespace kivora::desktop {
namespace {

Value record(const char* path, const char* title, const char* modifier, const char* character) {
    return Value(Dictionary{{"Path", Value(path)},
                            {"Title", Value(title)},
                            {"Modifier", Value(modifier)},
                            {"MenuItemCmdChar", Value(character)},
                            {"MenuItemCmdGlyph", Value("")}});
}

}  // namespace

DesktopSession* sharedSession(std::string& whyNot) {
    static std::string reason;
    static std::unique_ptr<DesktopSession> session = [] {
        auto started = DesktopSession::start(reason);
        if (started) {
            // The adapters in this process find the display and desktop files as the helper
            // would in the session.
            for (const auto& [name, value] : started->environment()) {
                if (value) {
                    ::setenv(name.c_str(), value->c_str(), 1);
                } else {
                    ::unsetenv(name.c_str());
                }
            }
        }
        return started;
    }();
    whyNot = reason;
    return session.get();
}

void DesktopTest::SetUp() {
    std::string whyNot;
    session_ = sharedSession(whyNot);
    if (session_ == nullptr) {
        GTEST_SKIP() << "no desktop session: " << whyNot;
    }
}

std::unique_ptr<e2e::ChildProcess> DesktopTest::startApp(const std::string& toolkit,
                                                         const std::vector<std::string>& args) {
    std::string why;
    auto app = session_->startTestApplication(toolkit, args, why);
    EXPECT_TRUE(app) << why;
    return app;
}

std::unique_ptr<e2e::HelperProcess> DesktopTest::startHelper(std::optional<std::string> home) {
    e2e::HelperOptions options;
    options.environment = session_->environment();
    if (home) {
        options.environment["HOME"] = *home;
    }
    options.home = std::move(home);
    auto helper = std::make_unique<e2e::HelperProcess>(session_->bus(), options);
    EXPECT_TRUE(helper->waitUntilOwnsName()) << helper->describe();
    return helper;
}

Array expectedTestApplicationList() {
    // F-keys and arrows have a numeric glyph and no character: the walker leaves them out, as
    // it does the disabled Paste Special and the items without a shortcut.
    return Array{
        Value("File"),
        record("File", "New", "⌘", "N"),
        record("File", "Open", "⌘", "O"),
        Value("File/Open Recent"),
        record("File/Open Recent", "Reopen Last", "⇧⌘", "T"),
        record("File/Open Recent", "Oldest", "⌥⌘", "O"),
        record("File", "Save", "⌘", "S"),
        record("File", "Save As", "⇧⌘", "S"),
        Value("Edit"),
        record("Edit", "Undo", "⌘", "Z"),
        record("Edit", "Redo", "⇧⌘", "Z"),
        record("Edit", "Zoom In", "⌘", "+"),
        record("Edit", "Zoom Out", "⌘", "-"),
        Value("Edit"),
    };
}

}  // namespace kivora::desktop
