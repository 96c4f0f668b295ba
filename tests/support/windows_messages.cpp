#include "support/windows_messages.h"

#include <cstdio>
#include <regex>
#include <set>

namespace corvane::testing {

std::optional<WindowsMessage> parseWindowsMessage(const std::string& line) {
    static const std::regex format(
        R"re(^(WM_\w+) wparam=0x([0-9a-f]+) scan=0x[0-9a-f]+ shift=(\d) ctrl=(\d) alt=(\d) win=(\d) numlock=\d capslock=(\d)$)re");
    std::smatch match;
    if (!std::regex_match(line, match, format)) {
        return std::nullopt;
    }
    return WindowsMessage{match[1],        static_cast<unsigned>(std::stoul(match[2], nullptr, 16)),
                          match[3] == "1", match[4] == "1",
                          match[5] == "1", match[6] == "1",
                          match[7] == "1"};
}

MessagesToMarker messagesToMarker(const std::function<std::optional<std::string>()>& nextLine) {
    MessagesToMarker result;
    while (const std::optional<std::string> line = nextLine()) {
        const std::optional<WindowsMessage> message = parseWindowsMessage(*line);
        if (message && message->wparam != markerVirtualKey) {
            result.messages.push_back(*message);
        } else if (message && message->name == "WM_KEYDOWN") {
            result.capsLockAtMarker = message->capsLock;
        } else if (message && message->name == "WM_KEYUP") {
            return result;
        }
    }
    result.messages.push_back({"marker-missing"});
    return result;
}

std::string keyDowns(const std::vector<WindowsMessage>& messages) {
    static const std::set<unsigned> modifiers = {0x10, 0x11, 0x12, 0x14, 0x5B, 0x5C, 0x90,
                                                 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
    std::string text;
    for (const WindowsMessage& message : messages) {
        if ((message.name == "WM_KEYDOWN" || message.name == "WM_SYSKEYDOWN") &&
            !modifiers.contains(message.wparam)) {
            char key[8];
            std::snprintf(key, sizeof key, "0x%02X", message.wparam);
            text += std::string(text.empty() ? "" : " ") + (message.shift ? "Shift+" : "") +
                    (message.ctrl ? "Ctrl+" : "") + (message.alt ? "Alt+" : "") +
                    (message.win ? "Win+" : "") + key;
        }
    }
    return text;
}

std::string characters(const std::vector<WindowsMessage>& messages) {
    std::string text;
    for (const WindowsMessage& message : messages) {
        if (message.name == "WM_CHAR" && message.wparam < 0x80) {
            text += static_cast<char>(message.wparam);
        } else if (message.name == "WM_CHAR") {
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", message.wparam);
            text += escaped;
        }
    }
    return text;
}

}  // namespace corvane::testing
