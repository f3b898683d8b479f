#include "kivoractl/MonitorLine.h"

#include "kivoractl/TerminalText.h"

namespace kivoractl {

namespace {

// Long enough to recognise a title or a pair, short enough to keep a reply on one line.
constexpr std::size_t kWidestString = 32;

std::string summary(const kivora::Value& value) {
    if (value.isString()) {
        return "\"" + shortened(printable(value.asString()), kWidestString) + "\"";
    }
    if (value.isArray()) {
        return "[" + std::to_string(value.asArray().size()) + "]";
    }
    if (value.isDictionary()) {
        return "{" + std::to_string(value.asDictionary().size()) + "}";
    }
    if (value.isData()) {
        return "<" + std::to_string(value.asData().bytes.size()) + " bytes>";
    }
    return printable(toDebugString(value));
}

}  // namespace

std::string monitorLine(const std::string& time, const std::string& sender,
                        const kivora::Notification& notification) {
    std::string line = time + " " + printable(sender) + " " + printable(notification.name);
    if (notification.object) {
        line += " object=" + printable(*notification.object);
    }
    if (!notification.userInfo.empty()) {
        std::string info;
        for (const auto& [key, value] : notification.userInfo) {
            info += (info.empty() ? "" : ", ") + printable(key) + "=" + summary(value);
        }
        line += " {" + info + "}";
    }
    return line + "\n";
}

kivora::Value monitorRecord(const std::string& time, const std::string& sender,
                            const kivora::Notification& notification) {
    return kivora::Dictionary{
        {"time", time},
        {"sender", sender},
        {"name", notification.name},
        {"object", notification.object ? kivora::Value(*notification.object) : kivora::Value()},
        {"userInfo", notification.userInfo}};
}

}  // namespace kivoractl
