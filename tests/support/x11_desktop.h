#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "keystroke/x11/x11_connection.h"
#include "keystroke/x11/x11_keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "support/recording_window.h"
#include "support/xvfb_server.h"

namespace corvane::testing {

// A private Xvfb for the whole suite, the "us" layout at the start of every test, and
// the X11 layout source and XTest poster on one connection. Checks after every test
// that no key is left down.
class X11DesktopTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = std::make_unique<XvfbServer>(); }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        ASSERT_TRUE(server->running());
        ASSERT_TRUE(server->run({"setxkbmap", "us"}));
        connection = std::make_unique<x11::X11Connection>(server->display(), diagnostics);
        ASSERT_TRUE(connection->usable());
        layouts = std::make_unique<x11::X11KeyboardLayoutSource>(*connection);
        events = std::make_unique<x11::X11KeyboardEvents>(*connection, *layouts);
    }
    void TearDown() override {
        if (connection && connection->usable()) {
            EXPECT_TRUE(noKeyIsDown(connection->get()));
        }
    }

    std::unique_ptr<RecordingWindow> openWindow(const std::string& className) {
        auto window = std::make_unique<RecordingWindow>(*server, className);
        EXPECT_TRUE(window->ready());
        return window;
    }
    std::vector<RecordedKey> keysReceived(RecordingWindow& window) {
        return window.keysReceived(connection->get());
    }
    // Presses or releases a key as a user would, through XTest.
    void userKey(std::uint8_t type, xcb_keycode_t keycode);

    inline static std::unique_ptr<XvfbServer> server;
    std::ostringstream diagnostics;
    std::unique_ptr<x11::X11Connection> connection;
    std::unique_ptr<x11::X11KeyboardLayoutSource> layouts;
    std::unique_ptr<x11::X11KeyboardEvents> events;
};

// A typed key: a press and its release, as the window saw the press.
struct TypedKey {
    unsigned keycode = 0;
    unsigned state = 0;
    std::string text;
    bool operator==(const TypedKey&) const = default;
};

// The non-modifier keys among the received ones, checking that each press is followed
// by its release before the next key.
std::vector<TypedKey> typedKeys(const std::vector<RecordedKey>& keys);

void PrintTo(const TypedKey& key, std::ostream* out);

}  // namespace corvane::testing
