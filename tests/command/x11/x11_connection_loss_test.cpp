// Without an X server, or after losing it, every X11 service answers "nothing" and the
// trouble is said once.

#include <gtest/gtest.h>

#include <sstream>

#include "command/x11/x11_workspace.h"
#include "keystroke/character_lookup.h"
#include "keystroke/event_posting.h"
#include "keystroke/x11/x11_connection.h"
#include "keystroke/x11/x11_keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "support/xvfb_server.h"

namespace corvane::x11 {
namespace {

std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Uses every service twice; all must answer "nothing".
void expectNothingFromAnyService(X11Connection& connection) {
    X11KeyboardLayoutSource layouts(connection);
    X11KeyboardEvents events(connection, layouts);
    X11Workspace workspace(connection);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(layouts.currentLayout(), nullptr);
        std::uint16_t keyCode = 0;
        std::uint32_t state = 0;
        EXPECT_FALSE(keyCodeForString(layouts, u"-", keyCode, state));
        EXPECT_EQ(events.createSource(), nullptr);
        postKey(events, leftShiftKeyCode, 0);
        EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
    }
}

TEST(X11ConnectionLossTest, NoServerGivesNothingAndOneMessage) {
    std::ostringstream diagnostics;
    X11Connection connection(std::string("unix:/nonexistent/corvane-test.sock"), diagnostics);
    EXPECT_FALSE(connection.usable());
    expectNothingFromAnyService(connection);
    EXPECT_EQ(lineCount(diagnostics.str()), 1U) << diagnostics.str();
}

TEST(X11ConnectionLossTest, LostServerGivesNothingAndOneMessage) {
    testing::XvfbServer server;
    ASSERT_TRUE(server.running());
    std::ostringstream diagnostics;
    X11Connection connection(server.display(), diagnostics);
    X11KeyboardLayoutSource layouts(connection);
    X11Workspace workspace(connection);
    ASSERT_NE(layouts.currentLayout(), nullptr);

    server.stop();
    EXPECT_EQ(layouts.currentLayout(), nullptr);
    EXPECT_FALSE(connection.usable());
    expectNothingFromAnyService(connection);
    EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
    EXPECT_EQ(lineCount(diagnostics.str()), 1U) << diagnostics.str();
}

TEST(X11ConnectionLossTest, ServerWithoutXTestTypesNothingButKeepsTheRest) {
    testing::XvfbServer server({"-extension", "XTEST"});
    ASSERT_TRUE(server.running());
    std::ostringstream diagnostics;
    X11Connection connection(server.display(), diagnostics);
    X11KeyboardLayoutSource layouts(connection);
    X11KeyboardEvents events(connection, layouts);
    EXPECT_EQ(events.createSource(), nullptr);
    postKey(events, leftShiftKeyCode, 0);
    EXPECT_TRUE(connection.usable());
    EXPECT_NE(layouts.currentLayout(), nullptr);
    EXPECT_EQ(lineCount(diagnostics.str()), 1U) << diagnostics.str();
}

}  // namespace
}  // namespace corvane::x11
