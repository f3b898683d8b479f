// The system shortcut sheet end to end: the helper reads the user's preferences from $HOME (a
// copy of the demo preferences) on every request and answers with both replies, in order.

#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/support/E2e.h"

namespace kivora::e2e {
namespace {

struct SystemReplies {
    Array list;       // "systemShortcut"
    Array pairs;      // "keyCodeAndFlagsArrData"
    Array menuPairs;  // "currentKeyCodeAndFlagsArrData"
};

const Array& arrayAt(const Notification& reply, const char* key) {
    static const Array none;
    const auto it = reply.userInfo.find(key);
    const Array* array = it == reply.userInfo.end() ? nullptr : it->second.array();
    EXPECT_TRUE(array != nullptr) << reply.name << " has no array " << key;
    return array != nullptr ? *array : none;
}

// Every pair is a dictionary of exactly "keyCode" and "flags", both integers.
void expectKeyDictionaries(const Array& pairs) {
    for (const Value& pair : pairs) {
        const Dictionary* d = pair.dictionary();
        ASSERT_TRUE(d != nullptr && d->size() == 2 && pair.find("keyCode") &&
                    pair.find("keyCode")->isInteger() && pair.find("flags") &&
                    pair.find("flags")->isInteger())
            << toDebugString(pair);
    }
}

Array concatenated(const Array& a, const Array& b) {
    Array out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

class SystemShortcut : public ::testing::Test {
protected:
    void SetUp() override {
        home = copyDemoHome(files);
        helper = startHelper(bus, HelperOptions{{"--desktop", demoDesktop()}, home, {}});
        ASSERT_TRUE(helper);
    }

    // One "GetSystemShortcut": exactly two replies, in order, to the main application.
    SystemReplies request() {
        client.clear();
        client.post("GetSystemShortcut", kHelperObject);
        SystemReplies replies;
        if (!client.waitFor("GetKeyCodeAndFlagsArr")) {
            ADD_FAILURE() << "no GetKeyCodeAndFlagsArr\n" << helper->describe();
            return replies;
        }
        const auto& received = client.received();
        EXPECT_EQ(received.size(), 2u);
        if (received.size() < 2) {
            return replies;
        }
        EXPECT_EQ(received[0].name, "getSystemShortcutResponse");
        EXPECT_EQ(received[1].name, "GetKeyCodeAndFlagsArr");
        for (const auto& reply : received) {
            EXPECT_EQ(reply.object, kMainAppObject) << reply.name;
        }
        EXPECT_EQ(received[0].userInfo.size(), 1u);
        EXPECT_EQ(received[1].userInfo.size(), 2u);
        replies.list = arrayAt(received[0], "systemShortcut");
        replies.pairs = arrayAt(received[1], "keyCodeAndFlagsArrData");
        replies.menuPairs = arrayAt(received[1], "currentKeyCodeAndFlagsArrData");
        expectKeyDictionaries(replies.pairs);
        expectKeyDictionaries(replies.menuPairs);
        return replies;
    }

    PrivateBus bus;
    TempDir files;
    std::string home;
    TestClient client{bus};
    std::unique_ptr<HelperProcess> helper;
};

TEST_F(SystemShortcut, BothRepliesInOrderPairsAccumulateAndPreferencesAreReadAfresh) {
    const SystemReplies first = request();
    // Headers are strings; each record has its pair, in the same order.
    std::vector<const Dictionary*> records;
    for (const Value& entry : first.list) {
        if (const Dictionary* record = entry.dictionary()) {
            ASSERT_EQ(record->size(), 3u) << toDebugString(entry);
            for (const char* key : {"Title", "Modifier", "key"}) {
                ASSERT_TRUE(entry.find(key) && entry.find(key)->isString()) << toDebugString(entry);
            }
            records.push_back(record);
        } else {
            ASSERT_TRUE(entry.isString()) << toDebugString(entry);
        }
    }
    ASSERT_FALSE(records.empty());
    ASSERT_EQ(first.pairs.size(), records.size());
    ASSERT_TRUE(first.list.front().isString());  // a category header comes first
    // Both rows of ID 64 read the same entry of the demo preferences.
    std::size_t spotlightRows = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Value& title = records[i]->at("Title");
        if (title == Value("Spotlight//Show Spotlight search") ||
            title == Value("Spotlight//Show Finder search window")) {
            ++spotlightRows;
            EXPECT_EQ(records[i]->at("key"), Value("SPACE"));
            EXPECT_EQ(records[i]->at("Modifier"), Value("⌘"));
            EXPECT_EQ(first.pairs[i], Value(Dictionary{{"keyCode", 49}, {"flags", 1048576}}));
        }
    }
    EXPECT_EQ(spotlightRows, 2u);
    // The menu walk ran first, on the demo editor.
    EXPECT_FALSE(first.menuPairs.empty());

    const SystemReplies second = request();
    EXPECT_EQ(second.list, first.list);
    EXPECT_EQ(second.pairs, concatenated(first.pairs, first.pairs));
    EXPECT_EQ(second.menuPairs, concatenated(first.menuPairs, first.menuPairs));

    // No preferences any more: an empty list, and nothing new among the pairs.
    std::filesystem::remove_all(files.file("home/Library/Preferences"));
    const SystemReplies third = request();
    EXPECT_TRUE(third.list.empty()) << toDebugString(Value(third.list));
    EXPECT_EQ(third.pairs, second.pairs);

    client.post("TerminateSubApp", kHelperObject);
    ASSERT_TRUE(helper->waitForExit().exitedWith(0)) << helper->describe();
    EXPECT_EQ(helper->countLines("Kivora---已获取到了所有快捷键-----"), 3u) << helper->describe();
    EXPECT_TRUE(helper->stderrLines().empty()) << helper->describe();
}

}  // namespace
}  // namespace kivora::e2e
