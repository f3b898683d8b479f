#include "sheet/SheetModel.h"

#include <algorithm>
#include <numeric>

#include "kivoractl/SheetTable.h"
#include "kivoractl/TerminalText.h"
#include "platform/UnicodeString.h"

namespace kivora::sheet {

using kivoractl::printable;

namespace {

std::string stringAt(const Value& record, std::string_view key) {
    const Value* value = record.find(key);
    return value != nullptr && value->isString() ? value->asString() : std::string();
}

std::string labelOf(const std::string& text) {
    return text.empty() ? std::string("(untitled)") : printable(text);
}

// "fn" is a word, not a glyph: keep it apart from the key.
std::string shortcutText(const std::string& modifier, const std::string& key) {
    return (modifier == "fn" ? "fn " : printable(modifier)) + key;
}

// Collects groups as headers arrive; a record joins the group of its path, or the last one.
class Builder {
public:
    explicit Builder(std::string separator) : separator_(std::move(separator)) {}

    void header(const std::string& path) {
        Group group;
        group.path = path;
        // A header that continues the current top-level one is a nested group.
        if (!top_.empty() && path.size() > top_.size() && path.starts_with(top_) &&
            path.compare(top_.size(), separator_.size(), separator_) == 0) {
            std::string_view rest(path);
            rest.remove_prefix(top_.size() + separator_.size());
            group.depth = 1 + static_cast<int>(std::count(rest.begin(), rest.end(), '/'));
            group.label = labelOf(std::string(rest.substr(rest.rfind('/') + 1)));
        } else {
            top_ = path;
            // The first menu's title comes as the logo character, which few fonts draw.
            group.label = path == "\xEF\xA3\xBF" ? "\xEF\xA3\xBF (Apple menu)" : labelOf(path);
        }
        sheet_.groups.push_back(std::move(group));
    }

    void record(const std::string& path, Item item) {
        auto found = std::find_if(sheet_.groups.rbegin(), sheet_.groups.rend(),
                                  [&](const Group& g) { return g.path == path; });
        if (found == sheet_.groups.rend()) {
            if (sheet_.groups.empty()) {
                header(path);
            }
            found = sheet_.groups.rbegin();
        }
        item.searchText = foldedForSearch(item.title + "\n" + found->path + "\n" + item.shortcut);
        found->items.push_back(std::move(item));
    }

    Sheet take() {
        std::erase_if(sheet_.groups, [](const Group& g) { return g.items.empty(); });
        return std::move(sheet_);
    }
    Sheet& sheet() { return sheet_; }

private:
    std::string separator_;
    std::string top_;
    Sheet sheet_;
};

}  // namespace

std::size_t Sheet::itemCount() const {
    return std::accumulate(groups.begin(), groups.end(), std::size_t{0},
                           [](std::size_t n, const Group& g) { return n + g.items.size(); });
}

std::optional<Sheet> menuSheet(const Value& currentShortcut, std::size_t& skipped) {
    const Array* list = currentShortcut.array();
    if (list == nullptr) {
        return std::nullopt;
    }
    std::size_t end = list->size();
    Builder builder("/");
    // Headers always precede a record, so a string at the end is the application title.
    if (end > 0 && list->back().isString()) {
        builder.sheet().title = printable(list->back().asString());
        --end;
    }
    skipped = 0;
    for (std::size_t i = 0; i < end; ++i) {
        const Value& entry = (*list)[i];
        if (entry.isString()) {
            builder.header(entry.asString());
        } else if (entry.isDictionary()) {
            Item item;
            item.title = stringAt(entry, "Title");
            item.label = labelOf(item.title);
            item.shortcut =
                shortcutText(stringAt(entry, "Modifier"),
                             kivoractl::menuKeyText(stringAt(entry, "MenuItemCmdChar"),
                                                    stringAt(entry, "MenuItemCmdGlyph")));
            builder.record(stringAt(entry, "Path"), std::move(item));
        } else {
            ++skipped;
        }
    }
    return builder.take();
}

std::optional<Sheet> systemSheet(const Value& systemShortcut, const Value& pairs,
                                 std::size_t& skipped) {
    const Array* list = systemShortcut.array();
    const Array* pairList = pairs.array();
    if (list == nullptr || pairList == nullptr) {
        return std::nullopt;
    }
    const auto records = static_cast<std::size_t>(
        std::count_if(list->begin(), list->end(), [](const Value& v) { return v.isDictionary(); }));
    std::size_t nextPair = pairList->size() >= records ? pairList->size() - records : records;
    Builder builder("/");
    skipped = 0;
    for (const Value& entry : *list) {
        if (entry.isString()) {
            builder.header(entry.asString());
            continue;
        }
        if (!entry.isDictionary()) {
            ++skipped;
            continue;
        }
        // "Category//Group//Name": the name is the last part, the group names the header.
        Item item;
        const std::string title = stringAt(entry, "Title");
        const auto lastCut = title.rfind("//");
        item.title = lastCut == std::string::npos ? title : title.substr(lastCut + 2);
        item.label = labelOf(item.title);
        item.shortcut =
            shortcutText(stringAt(entry, "Modifier"), printable(stringAt(entry, "key")));
        if (nextPair < pairList->size()) {
            const Value& pair = (*pairList)[nextPair++];
            const Value* keyCode = pair.find("keyCode");
            const Value* flags = pair.find("flags");
            if (keyCode != nullptr && flags != nullptr && keyCode->isInteger() &&
                flags->isInteger()) {
                item.pair = KeyPair{keyCode->asInteger(), flags->asInteger()};
            }
        }
        const auto firstCut = title.find("//");
        std::string path =
            firstCut == std::string::npos ? std::string() : title.substr(0, firstCut);
        if (firstCut != lastCut) {
            path += "/" + title.substr(firstCut + 2, lastCut - firstCut - 2);
        }
        builder.record(path, std::move(item));
    }
    return builder.take();
}

Sheet filtered(const Sheet& sheet, std::string_view query) {
    const std::string needle = foldedForSearch(query);
    if (needle.empty()) {
        return sheet;
    }
    Sheet out;
    out.title = sheet.title;
    for (const Group& group : sheet.groups) {
        const bool groupMatches = foldedForSearch(group.path).find(needle) != std::string::npos;
        Group kept{group.path, group.label, group.depth, {}};
        for (const Item& item : group.items) {
            if (groupMatches || item.searchText.find(needle) != std::string::npos) {
                kept.items.push_back(item);
            }
        }
        if (!kept.items.empty()) {
            out.groups.push_back(std::move(kept));
        }
    }
    return out;
}

std::vector<std::vector<std::size_t>> splitIntoColumns(const Sheet& sheet, std::size_t columns) {
    const std::size_t groups = sheet.groups.size();
    columns = std::clamp<std::size_t>(columns, 1, std::max<std::size_t>(groups, 1));
    const std::size_t rows = sheet.itemCount() + groups;
    const std::size_t target = (rows + columns - 1) / columns;
    std::vector<std::vector<std::size_t>> out(1);
    std::size_t used = 0;
    for (std::size_t i = 0; i < groups; ++i) {
        const std::size_t height = 1 + sheet.groups[i].items.size();
        // Start the next column when this group would overflow the current one by more than
        // half of itself, keeping the columns close to the target height.
        if (!out.back().empty() && out.size() < columns && used + height / 2 > target) {
            out.emplace_back();
            used = 0;
        }
        out.back().push_back(i);
        used += height;
    }
    return out;
}

}  // namespace kivora::sheet
