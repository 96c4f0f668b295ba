#pragma once

#include <gtest/gtest.h>
#include <xcb/xtest.h>

#include <asio/executor_work_guard.hpp>
#include <bitset>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "keystroke/x11/x11_keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "keystroke/x11/xcb_xkb.h"
#include "support/asio_loop.h"
#include "support/asio_main_thread_timer.h"
#include "support/recording_window.h"
#include "support/xvfb_server.h"
#include "x11/x11_connection.h"

namespace corvane::testing {

// A private Xvfb for the whole suite, the "us" layout at the start of every test, and the
// X11 layout source and XTest poster on one connection, with the main loop the test runs.
// No key may be down after a test.
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
        events = std::make_unique<x11::X11KeyboardEvents>(*connection, *layouts, timer);
    }
    void TearDown() override {
        if (connection && connection->usable()) {
            EXPECT_TRUE(keysDown().none()) << keysDown();
        }
    }

    // Runs the main loop until `over` is set.
    bool runLoopUntilOver(const bool& over) {
        return runLoopUntil(
            loop, [&over] { return over; }, std::chrono::seconds(30));
    }
    // Posts one command and runs the loop until it is over.
    Posted post(const KeyCodeSequence& keys, ShortcutConvention shortcuts = macShortcuts) {
        std::optional<Posted> result;
        events->postCommand(keys, shortcuts, [&result](Posted posted) { result = posted; });
        EXPECT_TRUE(runLoopUntil(
            loop, [&result] { return result.has_value(); }, std::chrono::seconds(30)));
        return result.value_or(Posted::none);
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
    void userKey(std::uint8_t type, xcb_keycode_t keycode) {
        xcb_test_fake_input(connection->get(), type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(connection->get());
    }
    void lockGroup(std::uint8_t group) {
        xcb_xkb_latch_lock_state(connection->get(), XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, group, 0, 0,
                                 0);
    }
    // NumLock is Mod2 in the server's default keymaps.
    void lockNumLock(bool locked) {
        xcb_xkb_latch_lock_state(connection->get(), XCB_XKB_ID_USE_CORE_KBD, XCB_MOD_MASK_2,
                                 locked ? XCB_MOD_MASK_2 : 0, 0, 0, 0, 0, 0);
    }
    // The core modifiers locked on the server; all when it does not answer.
    unsigned lockedModifiers() {
        xcb_connection_t* c = connection->get();
        xcb_xkb_get_state_reply_t* state =
            xcb_xkb_get_state_reply(c, xcb_xkb_get_state(c, XCB_XKB_ID_USE_CORE_KBD), nullptr);
        const unsigned locked = state != nullptr ? state->lockedMods : 0xFF;
        std::free(state);
        return locked;
    }
    // The keys down on the server, by keycode; all when the server does not answer.
    std::bitset<256> keysDown() {
        xcb_connection_t* c = connection->get();
        xcb_query_keymap_reply_t* reply = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
        std::bitset<256> down = reply == nullptr ? ~std::bitset<256>() : std::bitset<256>();
        for (std::size_t key = 0; reply != nullptr && key < down.size(); ++key) {
            down[key] = (reply->keys[key / 8] >> (key % 8)) & 1;
        }
        std::free(reply);
        return down;
    }

    inline static std::unique_ptr<XvfbServer> server;
    asio::io_context loop;
    asio::executor_work_guard<asio::io_context::executor_type> loopKeepsWaiting =
        asio::make_work_guard(loop);
    AsioMainThreadTimer timer{loop};
    std::ostringstream diagnostics;
    std::unique_ptr<x11::X11Connection> connection;
    std::unique_ptr<x11::X11KeyboardLayoutSource> layouts;
    std::unique_ptr<x11::X11KeyboardEvents> events;
};

}  // namespace corvane::testing
