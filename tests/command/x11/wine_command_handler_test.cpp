// The command handler typing into a Windows program under Wine, as Sibelius and Dorico run
// on Linux: the X11 workspace finds the id Wine gives the window, the keys go through XTest
// and Wine's X11 driver, and the Win32 key recorder says which messages the program got.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "command/command_handler.h"
#include "command/x11/x11_workspace.h"
#include "support/wine_recorder.h"
#include "support/x11_desktop.h"

namespace corvane::testing {
namespace {

// Positions 1, 2, 0, 1, 2, 0, 1.
constexpr std::uint32_t word = 0x10001249;

class WineCommandHandlerTest : public X11DesktopTest {
  protected:
    static void SetUpTestSuite() {
        X11DesktopTest::SetUpTestSuite();
        windowManager = std::make_unique<WindowManager>(*server);
    }
    static void TearDownTestSuite() {
        windowManager.reset();
        X11DesktopTest::TearDownTestSuite();
    }
    inline static std::unique_ptr<WindowManager> windowManager;
};

// One recorder per program name, the layout and the user's NumLock and Caps Lock set before
// each command. Sibelius gets Windows shortcuts (Ctrl for Command, Alt for Option): its
// key-downs are listed with the modifiers held, by virtual key. Dorico gets characters,
// with the third level's pauses on "fr" (the main loop runs meanwhile). Caps Lock is off
// for the keys and on again for the program afterwards.
TEST_F(WineCommandHandlerTest, TypesWindowsShortcutsAndCharactersIntoProgramsUnderWine) {
    ASSERT_TRUE(windowManager->running());
    x11::X11Workspace workspace(*connection);
    std::ostringstream output;
    CommandHandler handler(workspace, *layouts, *events, output);
    const std::string sibelius =
        "Ctrl+0x54 Ctrl+Alt+0x67 Ctrl+Alt+0x68 Ctrl+Alt+0x69 Ctrl+Alt+0x6B Ctrl+Alt+0x67 "
        "Ctrl+Alt+0x68 Ctrl+Alt+0x69 Ctrl+Alt+0x67 0x1B 0x1B";
    const std::string dorico = "P-v^-v^-\r";
    struct Case {
        std::string fileName;
        std::string layout;
        bool userNumLock, userCapsLock;
        std::string seen;  // key-downs for Sibelius, characters for Dorico
    };
    std::unique_ptr<WineRecorder> recorder;
    std::string running;
    for (const auto& [fileName, layout, userNumLock, userCapsLock, seen] :
         std::vector<Case>{{"sibelius.exe", "us", false, false, sibelius},
                           {"sibelius.exe", "us", true, false, sibelius},
                           {"Dorico9.exe", "us", false, false, dorico},
                           {"Dorico9.exe", "fr", false, true, dorico}}) {
        SCOPED_TRACE(fileName + " " + layout + (userNumLock ? " NumLock" : "") +
                     (userCapsLock ? " CapsLock" : ""));
        if (fileName != running) {
            recorder.reset();
            recorder = std::make_unique<WineRecorder>(*server, fileName);
            running = fileName;
            ASSERT_TRUE(recorder->ready());
        }
        ASSERT_TRUE(server->run({"setxkbmap", layout}));
        lockNumLock(userNumLock);
        xcb_xkb_latch_lock_state(connection->get(), XCB_XKB_ID_USE_CORE_KBD, XCB_MOD_MASK_LOCK,
                                 userCapsLock ? XCB_MOD_MASK_LOCK : 0, 0, 0, 0, 0, 0);
        recorder->messagesReceived(connection->get());  // Wine sees the new locks
        output.str("");
        bool over = false;
        handler.handleCommand(word, [&over] { over = true; });
        ASSERT_TRUE(runLoopUntilOver(over));
        std::string id = fileName;
        std::transform(id.begin(), id.end(), id.begin(), [](char c) { return std::tolower(c); });
        EXPECT_EQ(output.str(), "AppBundleId: " + id + "\n");
        const std::vector<WindowsMessage> received = recorder->messagesReceived(connection->get());
        EXPECT_EQ(fileName == "sibelius.exe" ? keyDowns(received) : characters(received), seen);
        EXPECT_EQ(recorder->capsLockAtMarker(), userCapsLock);
        lockNumLock(false);
        xcb_xkb_latch_lock_state(connection->get(), XCB_XKB_ID_USE_CORE_KBD, XCB_MOD_MASK_LOCK, 0,
                                 0, 0, 0, 0, 0);
    }
}

}  // namespace
}  // namespace corvane::testing
