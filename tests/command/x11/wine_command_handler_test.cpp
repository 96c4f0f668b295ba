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

// One recorder per program name, the layout and the user's NumLock set before each command.
// Sibelius gets Windows shortcuts (Ctrl for Command, Alt for Option): its key-downs are
// listed with the modifiers held, by virtual key. Dorico gets characters.
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
        bool userNumLock;
        std::string seen;  // key-downs for Sibelius, characters for the others
    };
    std::unique_ptr<WineRecorder> recorder;
    std::string running;
    for (const auto& [fileName, layout, userNumLock, seen] :
         std::vector<Case>{{"sibelius.exe", "us", false, sibelius},
                           {"sibelius.exe", "us", true, sibelius},
                           {"Dorico9.exe", "us", false, dorico},
                           {"Dorico9.exe", "fr", false, dorico},
                           {"Dorico9.exe", "de", false, ""},
                           {"myapp.exe", "us", false, ""}}) {
        SCOPED_TRACE(fileName + " " + layout + (userNumLock ? " NumLock" : ""));
        if (fileName != running) {
            recorder.reset();
            recorder = std::make_unique<WineRecorder>(*server, fileName);
            running = fileName;
            ASSERT_TRUE(recorder->ready());
        }
        ASSERT_TRUE(server->run({"setxkbmap", layout}));
        lockNumLock(userNumLock);
        recorder->messagesReceived(connection->get());  // Wine sees the new NumLock
        output.str("");
        handler.handleCommand(word);
        std::string id = fileName;
        std::transform(id.begin(), id.end(), id.begin(), [](char c) { return std::tolower(c); });
        EXPECT_EQ(output.str(), "AppBundleId: " + id + "\n");
        const std::vector<WindowsMessage> received = recorder->messagesReceived(connection->get());
        EXPECT_EQ(fileName == "sibelius.exe" ? keyDowns(received) : characters(received), seen);
        EXPECT_EQ(received.empty(), seen.empty());  // not even a modifier for nothing typed
        EXPECT_EQ(numLockLocked(), userNumLock);
        EXPECT_EQ(recorder->numLockAtMarker(), userNumLock);
        lockNumLock(false);
    }
}

}  // namespace
}  // namespace corvane::testing
