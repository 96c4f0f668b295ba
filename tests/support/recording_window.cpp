#include "support/recording_window.h"

#include <gtest/gtest.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <regex>

namespace corvane::testing {

RecordingWindow::RecordingWindow(const XvfbServer& server, const std::string& className,
                                 bool keepFocus)
    : process_(keepFocus ? std::vector<std::string>{RECORDING_WINDOW_PATH, "--class", className,
                                                    "--keep-focus"}
                         : std::vector<std::string>{RECORDING_WINDOW_PATH, "--class", className},
               server.environment()) {
    ready_ = process_.readLine(std::chrono::seconds(5)) == "ready";
}

void postMarkerKey(xcb_connection_t* connection) {
    for (const std::uint8_t type : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
        xcb_test_fake_input(connection, type, markerKeycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    xcb_flush(connection);
}

xcb_atom_t atom(xcb_connection_t* connection, const std::string& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr);
    const xcb_atom_t result = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return result;
}

std::vector<RecordedKey> RecordingWindow::keysReceived(xcb_connection_t* connection) {
    postMarkerKey(connection);
    std::vector<RecordedKey> keys;
    while (const std::optional<RecordedKey> key = nextKey(std::chrono::seconds(5))) {
        if (key->keycode != markerKeycode) {
            keys.push_back(*key);
        } else if (!key->press) {
            return keys;
        }
    }
    keys.push_back({false, 0, 0, "marker-missing", ""});
    return keys;
}

std::optional<RecordedKey> RecordingWindow::nextKey(std::chrono::milliseconds timeout) {
    static const std::regex format(
        R"re(^(press|release) +keycode=(\d+) +state=0x([0-9a-f]+) \([^)]*\) +keysym=(\S+) +text="(.*)"$)re");
    std::smatch match;
    while (const std::optional<std::string> line = process_.readLine(timeout)) {
        if (std::regex_match(*line, match, format)) {
            return RecordedKey{match[1] == "press", static_cast<unsigned>(std::stoul(match[2])),
                               static_cast<unsigned>(std::stoul(match[3], nullptr, 16)), match[4],
                               match[5]};
        }
    }
    return std::nullopt;
}

namespace {

bool isModifier(const RecordedKey& key) {
    static const std::regex modifier("(Shift|Control|Super|Alt)_[LR]|ISO_Level3_Shift|Caps_Lock");
    return std::regex_match(key.keysym, modifier);
}

}  // namespace

std::vector<TypedKey> typedKeys(const std::vector<RecordedKey>& keys) {
    std::vector<TypedKey> typed;
    const RecordedKey* pressed = nullptr;
    for (const RecordedKey& key : keys) {
        if (isModifier(key)) {
            continue;
        }
        if (key.press) {
            EXPECT_EQ(pressed, nullptr)
                << "key " << key.keycode << " pressed while another is down";
            pressed = &key;
            typed.push_back({key.keycode, key.state, key.text});
        } else {
            EXPECT_TRUE(pressed != nullptr && pressed->keycode == key.keycode &&
                        pressed->state == key.state)
                << "release of key " << key.keycode << " state " << key.state
                << " does not match its press";
            pressed = nullptr;
        }
    }
    EXPECT_EQ(pressed, nullptr) << "a key was never released";
    return typed;
}

void PrintTo(const TypedKey& key, std::ostream* out) {
    *out << "{keycode " << key.keycode << ", state 0x" << std::hex << key.state << std::dec
         << ", \"" << key.text << "\"}";
}

}  // namespace corvane::testing
