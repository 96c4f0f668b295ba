// Without an X server, after losing it, or without XTest, the X11 services answer
// "nothing" where they cannot work, and the trouble is said once.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "command/x11/x11_workspace.h"
#include "keystroke/character_lookup.h"
#include "keystroke/event_posting.h"
#include "keystroke/x11/x11_keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "support/xvfb_server.h"
#include "x11/x11_connection.h"

namespace corvane::x11 {
namespace {

struct Services {
    explicit Services(const std::string& display)
        : connection(display, diagnostics),
          layouts(connection),
          events(connection, layouts),
          workspace(connection) {}

    // Asks everything twice: the second time must neither retry nor say anything again.
    void expectNothingAndOneMessage() {
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(layouts.currentLayout(), nullptr);
            std::uint16_t keyCode = 0;
            std::uint32_t state = 0;
            EXPECT_FALSE(keyCodeForString(layouts, u"-", keyCode, state));
            EXPECT_EQ(events.createSource(), nullptr);
            postKey(events, leftShiftKeyCode, 0);
            EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
        }
        EXPECT_FALSE(connection.usable());
        EXPECT_EQ(std::ranges::count(diagnostics.str(), '\n'), 1) << diagnostics.str();
    }

    std::ostringstream diagnostics;
    X11Connection connection;
    X11KeyboardLayoutSource layouts;
    X11KeyboardEvents events;
    X11Workspace workspace;
};

TEST(X11ConnectionLossTest, NoServerGivesNothingAndOneMessage) {
    Services("unix:/nonexistent/corvane-test.sock").expectNothingAndOneMessage();
}

TEST(X11ConnectionLossTest, LostServerGivesNothingAndOneMessage) {
    testing::XvfbServer server;
    ASSERT_TRUE(server.running());
    Services services(server.display());
    ASSERT_NE(services.layouts.currentLayout(), nullptr);
    server.stop();
    services.expectNothingAndOneMessage();
}

TEST(X11ConnectionLossTest, ServerWithoutXTestTypesNothingButKeepsTheRest) {
    testing::XvfbServer server({"-extension", "XTEST"});
    ASSERT_TRUE(server.running());
    Services services(server.display());
    EXPECT_EQ(services.events.createSource(), nullptr);
    postKey(services.events, leftShiftKeyCode, 0);
    EXPECT_TRUE(services.connection.usable());
    EXPECT_NE(services.layouts.currentLayout(), nullptr);
    EXPECT_EQ(std::ranges::count(services.diagnostics.str(), '\n'), 1)
        << services.diagnostics.str();
}

}  // namespace
}  // namespace corvane::x11
