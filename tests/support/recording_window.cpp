#include "support/recording_window.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>

namespace corvane::testing {

namespace {

// F12 (evdev 88 + 8): no command uses it.
constexpr xcb_keycode_t markerKeycode = 96;
constexpr auto lineTimeout = std::chrono::seconds(5);

}  // namespace

std::optional<RecordedKey> parseRecordedKey(const std::string& line) {
    static const std::regex format(
        R"re(^(press|release) +keycode=(\d+) +state=0x([0-9a-f]+) \([^)]*\) +keysym=(\S+) +text="(.*)"$)re");
    std::smatch match;
    if (!std::regex_match(line, match, format)) {
        return std::nullopt;
    }
    return RecordedKey{match[1] == "press", static_cast<unsigned>(std::stoul(match[2])),
                       static_cast<unsigned>(std::stoul(match[3], nullptr, 16)), match[4],
                       match[5]};
}

RecordingWindow::RecordingWindow(const XvfbServer& server, const std::string& className)
    : process_({RECORDING_WINDOW_PATH, "--class", className}, server.environment()) {
    ready_ = process_.readLine(lineTimeout) == "ready";
}

std::vector<RecordedKey> RecordingWindow::keysReceived(xcb_connection_t* connection) {
    for (const std::uint8_t type : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
        xcb_test_fake_input(connection, type, markerKeycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    xcb_flush(connection);
    std::vector<RecordedKey> keys;
    while (const std::optional<std::string> line = process_.readLine(lineTimeout)) {
        const std::optional<RecordedKey> key = parseRecordedKey(*line);
        if (!key) {
            continue;
        }
        if (key->keycode == markerKeycode) {
            if (!key->press) {
                return keys;
            }
            continue;
        }
        keys.push_back(*key);
    }
    keys.push_back(RecordedKey{false, 0, 0, "marker-missing", ""});
    return keys;
}

bool noKeyIsDown(xcb_connection_t* connection) {
    xcb_query_keymap_reply_t* reply =
        xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr);
    if (reply == nullptr) {
        return false;
    }
    const bool none = std::all_of(std::begin(reply->keys), std::end(reply->keys),
                                  [](std::uint8_t bits) { return bits == 0; });
    std::free(reply);
    return none;
}

}  // namespace corvane::testing
