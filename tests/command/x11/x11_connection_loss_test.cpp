// After losing the X server, or without XTest, the X11 services answer "nothing" where they
// cannot work, and the trouble is said once. A server that goes while commands are typed
// ends the command under way as broken, with one line, and the owner of the connection is
// told once. (Without a server at all the program does not start.)

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sstream>

#include "command/command_queue.h"
#include "command/x11/x11_workspace.h"
#include "keystroke/character_lookup.h"
#include "keystroke/fixed_keys.h"
#include "keystroke/x11/x11_keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "support/asio_loop.h"
#include "support/asio_main_thread_timer.h"
#include "support/recording_window.h"
#include "x11/x11_connection.h"

namespace corvane::x11 {
namespace {

struct Services {
    explicit Services(const std::string& display)
        : connection(display, diagnostics),
          layouts(connection),
          events(connection, layouts, timer),
          workspace(connection) {
        connection.onLost([this] { ++lost; });
    }

    std::size_t lines() const { return std::ranges::count(diagnostics.str(), '\n'); }
    // Posts the start-up press, which needs no pause: over within the call.
    std::optional<Posted> pressShift() {
        std::optional<Posted> posted;
        events.postCommand(KeyCodeSequence::single({leftShiftKeyCode, 0}), macShortcuts,
                           [&posted](Posted p) { posted = p; });
        return posted;
    }
    // Asks everything twice: the second time must neither retry nor say anything again.
    void expectNothingAndOneMessage() {
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(layouts.currentLayout(), nullptr);
            std::uint16_t keyCode = 0;
            std::uint32_t state = 0;
            EXPECT_FALSE(keyCodeForString(layouts, u"-", keyCode, state));
            EXPECT_EQ(pressShift(), Posted::none);
            EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
        }
        EXPECT_FALSE(connection.usable());
        EXPECT_EQ(lines(), 1U) << diagnostics.str();
    }

    asio::io_context loop;
    testing::AsioMainThreadTimer timer{loop};
    std::ostringstream diagnostics;
    X11Connection connection;
    X11KeyboardLayoutSource layouts;
    X11KeyboardEvents events;
    X11Workspace workspace;
    int lost = 0;
};

// Twenty commands of seven carets for Wine's Dorico on "fr", each with pauses: the server
// goes while the second is paused. As in the program, a write to the closed connection
// fails rather than raising SIGPIPE.
TEST(X11ConnectionLossTest, AServerGoneWhileCommandsAreTypedBreaksTheOneUnderWayOnly) {
    std::signal(SIGPIPE, SIG_IGN);
    testing::XvfbServer server;
    ASSERT_TRUE(server.running() && server.run({"setxkbmap", "fr"}));
    testing::RecordingWindow window(server, "dorico9.exe");
    ASSERT_TRUE(window.ready());
    Services services(server.display());
    std::ostringstream output;
    CommandHandler handler(services.workspace, services.layouts, services.events, output);
    CommandQueue queue(handler, services.timer);
    const auto hold = std::make_shared<int>();
    for (int i = 0; i < 20; ++i) {
        queue.add(0x10000000, hold);
    }
    const auto commandsMet = [&output] { return std::ranges::count(output.str(), '\n'); };
    ASSERT_TRUE(testing::runLoopUntil(
        services.loop, [&] { return commandsMet() == 2; }, std::chrono::seconds(10)));
    server.stop();

    EXPECT_TRUE(testing::runLoopUntil(
        services.loop, [&] { return queue.size() == 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(services.diagnostics.str(), "Lost the connection to the X display " +
                                              server.display() +
                                              ": a command was not typed, or not all of it.\n");
    EXPECT_EQ(services.lost, 1);
    EXPECT_EQ(commandsMet(), 2);  // the others found no application
    EXPECT_EQ(hold.use_count(), 1);
    services.expectNothingAndOneMessage();
}

TEST(X11ConnectionLossTest, ServerWithoutXTestTypesNothingButKeepsTheRest) {
    testing::XvfbServer server({"-extension", "XTEST"});
    ASSERT_TRUE(server.running());
    Services services(server.display());
    EXPECT_EQ(services.pressShift(), Posted::none);
    EXPECT_TRUE(services.connection.usable());
    EXPECT_NE(services.layouts.currentLayout(), nullptr);
    EXPECT_EQ(services.lines(), 1U) << services.diagnostics.str();
}

}  // namespace
}  // namespace corvane::x11
