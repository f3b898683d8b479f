// kivora-sheet on the desktop session, read through the accessibility bus the way a screen
// reader reads it, typed into with XTest, and fed by the real helper or by a stand-in.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "DesktopHarness.h"
#include "e2e/support/TestClient.h"
#include "messaging/NotificationNames.h"

// Last: Xlib's macros (None, Status) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#ifdef KIVORA_SHEET_PATH
namespace kivora::desktop {
namespace {

using namespace std::chrono_literals;
using e2e::ChildProcess;
using linux_::MessagePtr;

constexpr std::uint32_t kRoleLabel = 29;
constexpr std::uint32_t kRolePushButton = 43;
constexpr std::uint32_t kRoleToggleButton = 62;

// The sheet as a screen reader sees it: one line per label outside a button, one indented line
// per button with its description ("  Save ⌘S").
class AccessibleReader {
public:
    explicit AccessibleReader(DesktopSession& session) : session_(session) {}

    std::string text(pid_t pid) {
        std::string out;
        std::string name = session_.registeredName(pid);
        if (!name.empty()) {
            walk(name, "/org/a11y/atspi/accessible/root", false, 0, out);
        }
        return out;
    }
    // Waits until the text holds `fragment` (or, with `present` false, no longer does);
    // returns the last text read.
    std::string waitFor(pid_t pid, const std::string& fragment, bool present = true) {
        const auto deadline = e2e::Clock::now() + e2e::scaled(20s);
        std::string last;
        while (((last = text(pid)).find(fragment) != std::string::npos) != present &&
               e2e::Clock::now() < deadline) {
            std::this_thread::sleep_for(100ms);
        }
        return last;
    }

private:
    template <typename... Args>
    MessagePtr call(const std::string& name, const std::string& path, const char* interface,
                    const char* member, const char* signature, Args... args) {
        sd_bus_message* reply = nullptr;
        linux_::BusError error;
        sd_bus_call_method(session_.a11yBus(), name.c_str(), path.c_str(), interface, member,
                           error.get(), &reply, signature, args...);
        return MessagePtr(reply);
    }
    std::string property(const std::string& name, const std::string& path, const char* key) {
        MessagePtr reply = call(name, path, "org.freedesktop.DBus.Properties", "Get", "ss",
                                "org.a11y.atspi.Accessible", key);
        const char* value = nullptr;
        return reply && sd_bus_message_read(reply.get(), "v", "s", &value) >= 0 && value != nullptr
                   ? value
                   : "";
    }
    void walk(const std::string& name, const std::string& path, bool inButton, int depth,
              std::string& out) {
        MessagePtr role = call(name, path, "org.a11y.atspi.Accessible", "GetRole", "");
        std::uint32_t r = 0;
        if (!role || sd_bus_message_read(role.get(), "u", &r) < 0 || depth > 60) {
            return;
        }
        if (r == kRoleToggleButton) {
            inButton = true;  // the view switcher
        } else if (r == kRolePushButton && !inButton) {
            out += "  " + property(name, path, "Name") + " " + property(name, path, "Description") +
                   "\n";
            inButton = true;
        } else if (r == kRoleLabel && !inButton) {
            out += property(name, path, "Name") + "\n";
        }
        MessagePtr children = call(name, path, "org.a11y.atspi.Accessible", "GetChildren", "");
        if (!children || sd_bus_message_enter_container(children.get(), 'a', "(so)") < 0) {
            return;
        }
        std::vector<std::pair<std::string, std::string>> list;
        const char* childName = nullptr;
        const char* childPath = nullptr;
        while (sd_bus_message_read(children.get(), "(so)", &childName, &childPath) > 0) {
            list.emplace_back(childName, childPath);
        }
        for (const auto& [n, p] : list) {
            walk(n, p, inButton, depth + 1, out);
        }
    }

    DesktopSession& session_;
};

// Types keys (keysym names) into whatever window has the focus.
void type(const std::string& display, const std::vector<const char*>& keys) {
    Display* d = XOpenDisplay(display.c_str());
    ASSERT_NE(d, nullptr);
    for (const char* key : keys) {
        const KeyCode code = XKeysymToKeycode(d, XStringToKeysym(key));
        XTestFakeKeyEvent(d, code, True, 0);
        XTestFakeKeyEvent(d, code, False, 0);
        XSync(d, False);
        std::this_thread::sleep_for(30ms);
    }
    XCloseDisplay(d);
}

// Whether the window shows more than one colour.
bool painted(const std::string& display, unsigned long window) {
    Display* d = XOpenDisplay(display.c_str());
    XWindowAttributes attributes{};
    bool varied = false;
    if (d != nullptr && XGetWindowAttributes(d, window, &attributes)) {
        if (XImage* image = XGetImage(d, window, 0, 0, attributes.width, attributes.height,
                                      AllPlanes, ZPixmap)) {
            const unsigned long first = XGetPixel(image, 0, 0);
            for (int y = 0; y < attributes.height && !varied; y += 3) {
                for (int x = 0; x < attributes.width && !varied; x += 3) {
                    varied = XGetPixel(image, x, y) != first;
                }
            }
            XDestroyImage(image);
        }
    }
    if (d != nullptr) {
        XCloseDisplay(d);
    }
    return varied;
}

// Owns the helper's name and answers like a helper: permission granted, and `menus` (when set)
// for every menu request, after `wrongReply` (when set).
class StandInHelper {
public:
    StandInHelper(const e2e::PrivateBus& session, std::optional<Value> menus,
                  std::optional<Value> wrongReply)
        : client_(session), menus_(std::move(menus)), wrong_(std::move(wrongReply)) {
        const int r = sd_bus_request_name(client_.bus(), names::helperIdentifier().c_str(), 0);
        EXPECT_GE(r, 0) << "cannot own the helper's name: " << std::strerror(-r);
        thread_ = std::thread([this] {
            while (!stop_) {
                const std::vector<Notification> requests = client_.received();
                client_.clear();
                for (const Notification& request : requests) {
                    answer(request);
                }
                sd_bus_wait(client_.bus(), 100'000);
            }
        });
    }
    ~StandInHelper() {
        stop_ = true;
        thread_.join();
    }

private:
    void answer(const Notification& request) {
        const std::string& main = names::mainApplicationIdentifier();
        if (request.name == names::accessibilityStatus()) {
            client_.post(names::accessibilityStatusResponse(), std::nullopt,
                         {{names::isEnabledKey(), Value(true)}});
        } else if (request.name == names::getCurrentShortcut()) {
            for (const auto* reply : {&wrong_, &menus_}) {
                if (*reply) {
                    client_.post(names::getCurrentShortcutResponse(), main,
                                 {{names::currentShortcutKey(), **reply}});
                }
            }
        }
    }

    e2e::TestClient client_;
    std::optional<Value> menus_;
    std::optional<Value> wrong_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class SheetOnDesktopTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        reader_ = std::make_unique<AccessibleReader>(*session_);
    }
    std::unique_ptr<ChildProcess> startSheet() {
        auto environment = session_->environment();
        environment["GSK_RENDERER"] = "cairo";  // Xvfb has no GPU
        // fontconfig and GTK keep their caches for the life of the process.
        environment["ASAN_OPTIONS"] = "detect_leaks=0";
        return std::make_unique<ChildProcess>(e2e::ProcessSpec{KIVORA_SHEET_PATH, {}, environment});
    }
    std::unique_ptr<AccessibleReader> reader_;
};

// What the sheet shows of the test application: its groups and items, in menu order.
constexpr const char* kTestApplicationSheet = R"(File
  New ⌘N
  Open ⌘O
  Save ⌘S
  Save As ⇧⌘S
▸ Open Recent
  Reopen Last ⇧⌘T
  Oldest ⌥⌘O
Edit
  Undo ⌘Z
  Redo ⇧⌘Z
  Zoom In ⌘+
  Zoom Out ⌘-
SheetTag
  Identify ⌘I
)";

TEST_F(SheetOnDesktopTest, ShowsTheTargetsShortcutsAndRunsTheOneChosen) {
    auto helper = startHelper();
    auto app = startApp("gtk_menu_app.py", {"--tag", "SheetTag"});
    ASSERT_TRUE(app);
    ASSERT_TRUE(session_->activate(app->pid(), true));

    auto sheet = startSheet();
    std::string text = reader_->waitFor(sheet->pid(), "Identify");
    EXPECT_NE(text.find(kTestApplicationSheet), std::string::npos)
        << text << sheet->describe() << helper->describe();
    EXPECT_TRUE(painted(session_->display(), session_->windowOf(sheet->pid())));

    // The sheet in front does not become the target: typing searches, Enter presses the one
    // item left in the test application, and the sheet ends.
    ASSERT_TRUE(session_->activate(sheet->pid()));
    type(session_->display(), {"r", "e"});
    text = reader_->waitFor(sheet->pid(), "  Undo", false);
    // "re" is in Redo and in the group Open Recent.
    EXPECT_NE(text.find("▸ Open Recent\n  Reopen Last ⇧⌘T\n  Oldest ⌥⌘O\nEdit\n  Redo ⇧⌘Z\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("  New"), std::string::npos) << text;
    type(session_->display(), {"d", "o", "Return"});
    EXPECT_TRUE(app->waitForLine("activated Edit/Redo")) << app->describe() << sheet->describe();
    EXPECT_TRUE(sheet->waitForExit().exitedWith(0)) << sheet->describe();

    // Esc closes it.
    sheet = startSheet();
    reader_->waitFor(sheet->pid(), "Identify");
    ASSERT_TRUE(session_->activate(sheet->pid()));
    type(session_->display(), {"Escape"});
    EXPECT_TRUE(sheet->waitForExit().exitedWith(0)) << sheet->describe();
}

TEST_F(SheetOnDesktopTest, SaysWhenTheHelperIsMissingOrDoesNotAnswer) {
    auto sheet = startSheet();
    const std::string text = reader_->waitFor(sheet->pid(), "could not start it");
    EXPECT_NE(text.find("systemctl --user start kivoradata"), std::string::npos) << text;
    sheet->kill();

    StandInHelper hung(session_->bus(), std::nullopt, std::nullopt);
    sheet = startSheet();
    EXPECT_NE(reader_->waitFor(sheet->pid(), "not answering").find("not answering"),
              std::string::npos)
        << sheet->describe();
    sheet->kill();
}

TEST_F(SheetOnDesktopTest, ShowsHostileTitlesAsTextAndIgnoresAWrongReply) {
    Array menus{Value("Edit"),
                Value(Dictionary{{"Path", Value("Edit")},
                                 {"Title", Value("<b>Bold</b> & \u202Eevil\n")},
                                 {"Modifier", Value("⌘")},
                                 {"MenuItemCmdChar", Value("B")}}),
                Value(Dictionary{{"Path", Value("Edit")},
                                 {"Title", Value("عربي")},
                                 {"Modifier", Value("⌘")},
                                 {"MenuItemCmdChar", Value("R")}}),
                Value("Many")};
    // Under the sanitizers everything is several times slower: fewer items, still far more
    // than the sheet makes widgets for.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
    constexpr int kItems = 2000;
#else
    constexpr int kItems = 10000;
#endif
#else
    constexpr int kItems = 10000;
#endif
    for (int i = 0; i < kItems; ++i) {
        menus.push_back(Value(Dictionary{{"Path", Value("Many")},
                                         {"Title", Value("Item " + std::to_string(i))},
                                         {"Modifier", Value("⌃")},
                                         {"MenuItemCmdChar", Value("K")}}));
    }
    menus.push_back(Value("Hostile"));
    StandInHelper helper(session_->bus(), Value(menus), Value("not a list"));
    auto sheet = startSheet();
    // Items only: GTK may report a changed label's text late to the accessibility bus.
    const std::string text = reader_->waitFor(sheet->pid(), "more shortcuts");
    EXPECT_NE(text.find("  عربي ⌘R\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  <b>Bold</b> & \\u{202E}evil\\n ⌘B\n"), std::string::npos) << text;
    EXPECT_NE(text.find(std::to_string(kItems + 2 - 400) + " more shortcuts"), std::string::npos)
        << text;
    const auto err = sheet->stderrLines();
    EXPECT_EQ(std::count_if(err.begin(), err.end(),
                            [](const std::string& line) {
                                return line.find("ignored GetCurrentShortcutResponse") !=
                                       std::string::npos;
                            }),
              1)
        << sheet->describe();
    sheet->kill();
}

}  // namespace
}  // namespace kivora::desktop
#endif
