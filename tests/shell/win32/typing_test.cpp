// Typing as corvane-client.exe does it, under Wine: the parts src/main_win32.cpp wires, with
// the Win32 key recorder in front as the notation program. The words go straight to the
// queue, where the network client hands them; `Typing` is the one part to change for words
// from a peer to the program itself, its lines then read from the program's log.

#include <gtest/gtest.h>

#include <sstream>

#include "command/command_queue.h"
#include "command/win32/foreground_workspace.h"
#include "keystroke/win32/foreground_keyboard_layout_source.h"
#include "keystroke/win32/send_input_keyboard_events.h"
#include "shell/win32/message_loop_timer.h"
#include "support/win32/key_recorder_process.h"

namespace corvane::win32 {
namespace {

// Positions 1, 2, 0, 1, 2, 0, 1.
constexpr std::uint32_t word = 0x10001249;

struct Typing {
    // Types `words` one after another from the message loop; false if they are not over
    // within ten seconds.
    bool type(const std::vector<std::uint32_t>& words) {
        for (const std::uint32_t each : words) {
            commands.add(each, nullptr);
        }
        const ULONGLONG deadline = GetTickCount64() + 10000;
        while (commands.size() > 0 && GetTickCount64() < deadline) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            for (MSG message{}; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
                DispatchMessageW(&message);
            }
        }
        return commands.size() == 0;
    }

    std::ostringstream log;
    MessageLoopTimer timer;
    ForegroundWorkspace workspace;
    ForegroundKeyboardLayoutSource layouts;
    SendInputKeyboardEvents events{layouts, log};
    CommandHandler handler{workspace, layouts, events, log};
    CommandQueue commands{handler, timer};
};

void sendKey(WORD virtualKey, WORD scanCode, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki = {virtualKey, scanCode, up ? DWORD{KEYEVENTF_KEYUP} : 0, 0, 0};
    SendInput(1, &input, sizeof input);
}

// One recorder per program name. Sibelius gets Windows shortcuts (Ctrl+T is a character
// too, as is Escape), its key-downs listed with the modifiers held; Dorico gets characters,
// two commands in a row. The user's Caps Lock is
// off for the characters and on again afterwards; a Shift the user holds refuses the command.
TEST(Typing, TypesShortcutsAndCharactersIntoTheProgramInFrontAndNothingElsewhere) {
    const std::string sibelius =
        "Ctrl+0x54 Ctrl+Alt+0x67 Ctrl+Alt+0x68 Ctrl+Alt+0x69 Ctrl+Alt+0x6B Ctrl+Alt+0x67 "
        "Ctrl+Alt+0x68 Ctrl+Alt+0x69 Ctrl+Alt+0x67 0x1B 0x1B";
    const std::string dorico = "P-v^-v^-\r";
    const std::string doricoKeys = "Shift+0x50 0xBD 0x56 Shift+0x36 0xBD 0x56 Shift+0x36 0xBD 0x0D";
    constexpr const char* held =
        "A command was not typed: a modifier key is held down on the keyboard.\n";
    const struct {
        std::wstring fileName;
        std::string id;
        WORD userKey;  // tapped (Caps Lock) or held (Shift) for the command
        std::vector<std::uint32_t> words;
        std::string keyDowns, characters, said;  // said after the AppBundleId lines
    } cases[] = {
        {L"Sibelius.exe", "sibelius.exe", 0, {word}, sibelius, "\x14\x1b\x1b", ""},
        {L"Dorico9.exe",
         "dorico9.exe",
         0,
         {word, word},
         doricoKeys + " " + doricoKeys,
         dorico + dorico,
         ""},
        {L"Dorico9.exe", "dorico9.exe", VK_CAPITAL, {word}, doricoKeys, dorico, ""},
        {L"Dorico9.exe", "dorico9.exe", VK_LSHIFT, {word}, "", "", held},
        {L"myapp.exe", "myapp.exe", 0, {word}, "", "", ""},
    };
    std::unique_ptr<testing::KeyRecorderProcess> recorder;
    std::wstring running;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id + (c.userKey == VK_CAPITAL ? " Caps Lock" : "") +
                     (c.userKey == VK_LSHIFT ? " Shift held" : ""));
        if (c.fileName != running) {
            recorder.reset();
            recorder = std::make_unique<testing::KeyRecorderProcess>(c.fileName);
            running = c.fileName;
            ASSERT_TRUE(recorder->ready());
        }
        // Caps Lock is turned on by a press, Shift held down.
        const WORD scanCode = c.userKey == VK_CAPITAL ? 0x3A : 0x2A;
        if (c.userKey != 0) {
            sendKey(c.userKey, scanCode, false);
            if (c.userKey == VK_CAPITAL) {
                sendKey(c.userKey, scanCode, true);
            }
            ASSERT_EQ(recorder->messagesReceived().capsLockAtMarker, c.userKey == VK_CAPITAL);
        }
        Typing typing;
        ASSERT_TRUE(typing.type(c.words));
        std::string lines;
        for (std::size_t i = 0; i < c.words.size(); ++i) {
            lines += "AppBundleId: " + c.id + "\n";
        }
        EXPECT_EQ(typing.log.str(), lines + c.said);
        const testing::MessagesToMarker received = recorder->messagesReceived();
        EXPECT_EQ(testing::keyDowns(received.messages), c.keyDowns);
        EXPECT_EQ(testing::characters(received.messages), c.characters);
        EXPECT_EQ(received.capsLockAtMarker, c.userKey == VK_CAPITAL);
        if (c.userKey != 0) {
            if (c.userKey == VK_CAPITAL) {
                sendKey(c.userKey, scanCode, false);
            }
            sendKey(c.userKey, scanCode, true);
            ASSERT_FALSE(recorder->messagesReceived().capsLockAtMarker);
        }
    }
}

}  // namespace
}  // namespace corvane::win32
