// A command word for the program in front, as the inputs Windows takes through SendInput, on
// recorded layouts (Wine has only us).

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "command/command_handler.h"
#include "keystroke/fixed_keys.h"
#include "keystroke/win32/recorded_layout.h"
#include "keystroke/win32/send_input_keyboard_events.h"
#include "support/fixed_workspace.h"
#include "support/wait_until.h"

namespace corvane::win32 {
namespace {

// The user's keyboard as the test sets it; takes the first `takes` inputs of each call.
class FakeInputSystem final : public InputSystem {
  public:
    FakeInputSystem(UserKeyboard keyboard, unsigned takes, std::vector<INPUT>& taken)
        : keyboard_(keyboard), takes_(takes), taken_(taken) {}
    UserKeyboard userKeyboard() override { return keyboard_; }
    unsigned send(std::span<INPUT> inputs) override {
        const auto count = std::min<std::size_t>(takes_, inputs.size());
        taken_.insert(taken_.end(), inputs.begin(), inputs.begin() + count);
        ++calls;
        return static_cast<unsigned>(count);
    }
    int calls = 0;

  private:
    UserKeyboard keyboard_;
    unsigned takes_;
    std::vector<INPUT>& taken_;
};

// Each key as "virtual key/scan code" in hex, the scan code with E0 before it for an extended
// key, and each keystroke as the keys down at its key's press joined by "+". Keys must be let
// go of in the reverse order of their presses, and none may stay down.
std::string keystrokes(const std::vector<INPUT>& inputs) {
    std::vector<std::string> down;
    std::string text;
    bool pressedLast = false;
    for (const INPUT& input : inputs) {
        char key[16];
        std::snprintf(key, sizeof key, "%02x/%s%02x", input.ki.wVk,
                      (input.ki.dwFlags & KEYEVENTF_EXTENDEDKEY) != 0 ? "e0" : "", input.ki.wScan);
        const bool up = (input.ki.dwFlags & KEYEVENTF_KEYUP) != 0;
        if (!up) {
            down.emplace_back(key);
        } else if (down.empty() || down.back() != key) {
            return text.append(" let go of out of order: ").append(key);
        } else {
            for (std::size_t i = 0; pressedLast && i < down.size(); ++i) {
                text.append(i == 0 ? (text.empty() ? "" : " ") : "+").append(down[i]);
            }
            down.pop_back();
        }
        pressedLast = !up;
    }
    return down.empty() ? text : text.append(" left down");
}

TEST(SendInputTyping, CommandsBecomeTheInputsOfAHardwareKeyboardOnTheLayoutInFront) {
    // Positions 1, 2, 0, 1, 2, 0, 1.
    constexpr std::uint32_t word = 0x10001249;
    const std::string sibelius =
        "a2/1d+54/14 a2/1d+a4/38+67/47 a2/1d+a4/38+68/48 a2/1d+a4/38+69/49 a2/1d+a4/38+6b/4e "
        "a2/1d+a4/38+67/47 a2/1d+a4/38+68/48 a2/1d+a4/38+69/49 a2/1d+a4/38+67/47 1b/01 1b/01";
    const std::string doricoUs =
        "a0/2a+50/19 bd/0c 56/2f a0/2a+36/07 bd/0c 56/2f a0/2a+36/07 bd/0c 0d/1c";
    const std::string doricoFr =
        "a0/2a+50/19 36/07 56/2f a2/1d+a5/e038+39/0a 36/07 56/2f a2/1d+a5/e038+39/0a 36/07 0d/1c";
    constexpr const char* held =
        "A command was not typed: a modifier key is held down on the keyboard.\n";
    const auto brokenOff = [](int taken) {
        return "A command was typed only in part: Windows took " + std::to_string(taken) +
               " of its 28 key events; the keys left down were let go of.\n";
    };
    constexpr const char* rejected =
        "A command was not typed: Windows did not take its keys (the window in front may run "
        "with higher rights, as an administrator's does).\n";
    constexpr unsigned all = ~0U;
    constexpr UserKeyboard none{}, capsLock{.capsLock = true}, modifierHeld{.modifierHeld = true};
    const struct {
        const char* id;
        const char* layout;
        UserKeyboard keyboard;
        unsigned takes;
        std::string typed;  // what Windows took
        int calls;
        std::string said;  // after the AppBundleId line
    } cases[] = {
        {"sibelius.exe", "us", none, all, sibelius, 1, ""},
        {"sibelius.exe", "ru", none, all, sibelius, 1, ""},  // T as on US keyboards
        {"sibelius.exe", "us", capsLock, all, sibelius, 1, ""},
        {"dorico9.exe", "us", none, all, doricoUs, 1, ""},
        {"dorico9.exe", "fr", none, all, doricoFr, 1, ""},
        {"dorico9.exe", "de", none, all, "", 0, ""},  // "^" only as a dead key
        {"dorico9.exe", "ru", none, all, "", 0, ""},  // no "^" at all
        {"dorico9.exe", "us", capsLock, all, "14/3a " + doricoUs + " 14/3a", 1, ""},
        {"dorico9.exe", "us", modifierHeld, all, "", 0, held},
        {"dorico6.exe", "fr", none, 0, "", 1, rejected},
        // The rest of a command Windows broke off: Ctrl let go of, and Caps Lock on again.
        {"dorico9.exe", "fr", none, 13, "a0/2a+50/19 36/07 56/2f a2/1d+a5/e038+39/0a", 2,
         brokenOff(13)},
        {"dorico9.exe", "us", capsLock, 5, "14/3a a0/2a+50/19 14/3a", 2, brokenOff(5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.id) + " on " + c.layout);
        testing::FixedWorkspace workspace;
        workspace.frontmost = RunningApplication{c.id};
        RecordedLayoutSource layouts(std::make_unique<RecordedLayout>(c.layout, false));
        std::vector<INPUT> taken;
        auto system = std::make_unique<FakeInputSystem>(c.keyboard, c.takes, taken);
        FakeInputSystem& input = *system;
        std::ostringstream log;
        SendInputKeyboardEvents sendInput(layouts, log, std::move(system));
        CommandHandler handler(workspace, layouts, sendInput, log);
        int over = 0;
        handler.handleCommand(word, [&over] { ++over; });
        EXPECT_EQ(over, 1);
        EXPECT_EQ(keystrokes(taken), c.typed);
        EXPECT_EQ(input.calls, c.calls);
        EXPECT_EQ(log.str(), "AppBundleId: " + std::string(c.id) + "\n" + c.said);
    }
}

// The user's real keyboard under Wine: a held Shift and Caps Lock turned on are seen, once
// Wine's copy of the key state (up to 50 ms old) has caught up.
TEST(WindowsInputSystem, SeesAModifierTheUserHoldsAndCapsLock) {
    using namespace std::chrono_literals;
    WindowsInputSystem system;
    const auto key = [&system](WORD virtualKey, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = virtualKey;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        return system.send({&input, 1}) == 1;
    };
    const auto seen = [&system](bool UserKeyboard::*state, bool on) {
        return testing::waitUntil([&] { return system.userKeyboard().*state == on; }, 10s);
    };
    ASSERT_TRUE(seen(&UserKeyboard::modifierHeld, false) && seen(&UserKeyboard::capsLock, false));
    ASSERT_TRUE(key(VK_LSHIFT, false));
    EXPECT_TRUE(seen(&UserKeyboard::modifierHeld, true));
    ASSERT_TRUE(key(VK_LSHIFT, true));
    EXPECT_TRUE(seen(&UserKeyboard::modifierHeld, false));
    for (const bool on : {true, false}) {
        ASSERT_TRUE(key(VK_CAPITAL, false) && key(VK_CAPITAL, true));
        EXPECT_TRUE(seen(&UserKeyboard::capsLock, on));
    }
}

}  // namespace
}  // namespace corvane::win32
