#include "keystroke/x11/key_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "keystroke/xkb/virtual_keys.h"

namespace corvane::x11 {
namespace {

// Core modifier masks of evdev keymaps.
constexpr std::uint8_t shift = 0x01, capsLock = 0x02, numLock = 0x10;

// Virtual key codes.
constexpr std::uint16_t keyP = 0x23, keyT = 0x11, keyV = 0x09, keyW = 0x0D, key6 = 0x16,
                        key9 = 0x19, minus = 0x1B, returnKey = 0x24, keypad7 = 0x59,
                        keypadPlus = 0x45, escape = 0x35;
constexpr CGEventFlags commandOption = EventFlags::command | EventFlags::option;

class KeyPlanTest : public ::testing::Test {
  protected:
    void use(const char* layout, const char* variant = "", const char* options = "") {
        const xkb_rule_names names{"evdev", "pc105", layout, variant, options};
        keymap.reset(xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
        ASSERT_NE(keymap, nullptr);
        facts = std::make_unique<KeymapFacts>(keymap.get(), 0);
    }
    void useKeymap(const char* text) {
        keymap.reset(xkb_keymap_new_from_string(context.get(), text, XKB_KEYMAP_FORMAT_TEXT_V1,
                                                XKB_KEYMAP_COMPILE_NO_FLAGS));
        ASSERT_NE(keymap, nullptr);
        facts = std::make_unique<KeymapFacts>(keymap.get(), 0);
    }

    // The plan as its steps: "+name" and "-name" a press and a release of the key whose
    // first keysym that is, "lock 0x1" and "unlock 0x1" the core modifiers locked and
    // unlocked, "|" a pause; or the refusal.
    std::string plan(const std::vector<KeyCodePair>& pairs, ShortcutConvention shortcuts,
                     std::uint8_t userLocks = 0) {
        std::vector<xcb_keycode_t> keys;
        for (const KeyCodePair& pair : pairs) {
            keys.push_back(static_cast<xcb_keycode_t>(*xkb::xkbKeycodeForVirtualKey(pair.keyCode)));
        }
        const KeyPlan planned = planCommand(pairs, keys, shortcuts, *facts, userLocks, {});
        if (planned.refusal != nullptr) {
            return planned.refusal;
        }
        std::ostringstream text;
        for (const KeyStep& step : planned.steps) {
            text << (text.tellp() > 0 ? " " : "");
            if (step.kind == KeyStep::Kind::pause) {
                text << "|";
            } else if (step.kind == KeyStep::Kind::lock || step.kind == KeyStep::Kind::unlock) {
                text << (step.kind == KeyStep::Kind::lock ? "lock 0x" : "unlock 0x") << std::hex
                     << unsigned{step.code} << std::dec;
            } else {
                const xkb_keysym_t* syms = nullptr;
                xkb_keymap_key_get_syms_by_level(keymap.get(), step.code, 0, 0, &syms);
                char name[64] = "";
                xkb_keysym_get_name(syms != nullptr ? syms[0] : 0, name, sizeof name);
                text << (step.kind == KeyStep::Kind::press ? "+" : "-") << name;
            }
        }
        return text.str();
    }

    xkb::ContextPtr context{xkb_context_new(XKB_CONTEXT_NO_FLAGS)};
    xkb::KeymapPtr keymap;
    std::unique_ptr<KeymapFacts> facts;
};

const std::vector<KeyCodePair> someSibeliusKeys = {
    {keyT, EventFlags::command}, {keypad7, commandOption}, {escape, 0}};

// With Caps Lock and NumLock on. A macOS target gets NumLock for the keypad only; a Windows
// one, which would see each change as a key press, keeps the user's NumLock where it can.
TEST_F(KeyPlanTest, LocksAreOffForTheKeysExceptNumLockForTheKeypadAndRestoredAfter) {
    use("us");
    EXPECT_EQ(plan(someSibeliusKeys, macShortcuts, capsLock | numLock),
              "unlock 0x2 unlock 0x10 +Super_L +t -t -Super_L lock 0x10 +ISO_Level3_Shift "
              "+Super_L +KP_Home -KP_Home -Super_L -ISO_Level3_Shift unlock 0x10 +Escape -Escape "
              "lock 0x12");
    EXPECT_EQ(plan(someSibeliusKeys, windowsShortcuts, capsLock | numLock),
              "unlock 0x2 +Control_L +t -t -Control_L +Control_L +Alt_L +KP_Home -KP_Home -Alt_L "
              "-Control_L +Escape -Escape lock 0x2");
    EXPECT_EQ(plan(someSibeliusKeys, windowsShortcuts, capsLock),
              "unlock 0x2 +Control_L +t -t -Control_L lock 0x10 +Control_L +Alt_L +KP_Home "
              "-KP_Home -Alt_L -Control_L unlock 0x10 +Escape -Escape lock 0x2");
}

// Shift locked by Caps Lock (caps:shiftlock), and Neo's Level 5 lock, which locks Mod2.
TEST_F(KeyPlanTest, ShiftAndLevelFiveLocksAreOffForTheKeysAndRestoredAfter) {
    use("us", "", "caps:shiftlock");
    EXPECT_EQ(plan({{minus, 0, true}, {keyV, 0, true}, {key6, EventFlags::shift, true}},
                   windowsShortcuts, shift),
              "unlock 0x1 +minus -minus +v -v +Shift_L +6 -6 -Shift_L lock 0x1");
    use("de", "neo");
    EXPECT_EQ(plan({{minus, 0, true}, {keyW, 0, true}}, macShortcuts, numLock),
              "unlock 0x10 +minus -minus +v -v lock 0x10");
}

// Keypad plus under Control+Alt, where the server would switch the video mode, gets Shift
// locked for its press, and given back at once; the user's Shift lock comes back at the end.
TEST_F(KeyPlanTest, TheDividerGetsPastTheServerWithALockOfItsOwn) {
    use("us", "", "caps:shiftlock");
    EXPECT_EQ(plan({{keypadPlus, commandOption}}, windowsShortcuts, shift),
              "unlock 0x1 lock 0x10 +Control_L +Alt_L lock 0x1 +KP_Add -KP_Add unlock 0x1 -Alt_L "
              "-Control_L lock 0x1 unlock 0x10");
}

// Keypad plus as "us" has it, but Control and Alt are all its type counts.
TEST_F(KeyPlanTest, AKeyTheServerWouldTakeWhateverIsLockedIsRefused) {
    useKeymap(R"keymap(xkb_keymap {
        xkb_keycodes { include "evdev+aliases(qwerty)" };
        xkb_types { include "complete"
            virtual_modifiers Alt;
            type "CONTROL_ALT" { modifiers = Control+Alt; map[Control+Alt] = Level2; }; };
        xkb_compat { include "complete" };
        xkb_symbols { include "pc+us+inet(evdev)"
            key <KPAD> { type = "CONTROL_ALT", [ KP_Add, XF86Next_VMode ] }; }; };)keymap");
    EXPECT_EQ(plan({{keypadPlus, commandOption}}, windowsShortcuts),
              "A command was not typed: the X server would take one of its keys for itself.");
}

// Dorico's word of seven carets on "fr", where "^" is on the third level of the 9 key: one
// pause before each caret and after the last, for Wine only.
TEST_F(KeyPlanTest, UnderWineACharacterOfTheThirdLevelHasTimeOfItsOwn) {
    use("fr");
    std::vector<KeyCodePair> carets(7, {key9, EventFlags::option, true});
    carets.insert(carets.begin(), {keyP, EventFlags::shift});
    carets.push_back({returnKey, 0});
    EXPECT_EQ(std::ranges::count(plan(carets, windowsShortcuts), '|'), 8);
    EXPECT_EQ(std::ranges::count(plan(carets, macShortcuts), '|'), 0);
    EXPECT_EQ(plan({carets[0], carets[1]}, windowsShortcuts),
              "+Shift_L +p -p -Shift_L | +ISO_Level3_Shift +ccedilla -ccedilla -ISO_Level3_Shift "
              "|");
}

}  // namespace
}  // namespace corvane::x11
