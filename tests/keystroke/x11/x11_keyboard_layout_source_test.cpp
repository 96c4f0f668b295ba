#include "keystroke/x11/x11_keyboard_layout_source.h"

#include <gtest/gtest.h>

#include <string>

#include "keystroke/character_lookup.h"
#include "support/x11_desktop.h"

namespace corvane::testing {
namespace {

using X11KeyboardLayoutSourceTest = X11DesktopTest;

// The first XTest key makes the XTest device the core keyboard's source, which the server
// announces as a new keyboard; from then on typing changes nothing. (That a new keymap or
// group is followed, the handler test shows: each of its rows switches them.)
TEST_F(X11KeyboardLayoutSourceTest, TypingKeepsTheKeymap) {
    post(KeyCodeSequence::single({0x00, 0}));
    const std::shared_ptr<KeyboardLayout> first = layouts->currentLayout();
    ASSERT_NE(first, nullptr);
    post(KeyCodeSequence::single({0x00, EventFlags::shift}));
    post(KeyCodeSequence::single({0x01, EventFlags::option}));
    EXPECT_EQ(layouts->currentLayout(), first);
}

TEST_F(X11KeyboardLayoutSourceTest, LookupAndPosterAgreeOnAKeymapWithoutLevelThree) {
    ASSERT_TRUE(server->run({"setxkbmap", "fr"}));
    std::uint16_t keyCode = 0;
    std::uint32_t state = 0;
    ASSERT_TRUE(keyCodeForString(*layouts, u"^", keyCode, state));
    EXPECT_EQ(state, ModifierState::option);

    // The same keymap with the ISO_Level3_Shift keysym taken off every key.
    const std::string dump = ::testing::TempDir() + "no-level-three.xkb";
    ASSERT_TRUE(server->run({"sh", "-c",
                             "xkbcomp -xkb \"$DISPLAY\" - | sed -E '/symbols\\[|^ *key "
                             "/s/ISO_Level3_Shift/NoSymbol/g' > " +
                                 dump + " && xkbcomp -w 0 " + dump + " \"$DISPLAY\""}));
    EXPECT_FALSE(keyCodeForString(*layouts, u"^", keyCode, state));
    EXPECT_TRUE(keyCodeForString(*layouts, u"-", keyCode, state));

    auto window = openWindow("org.example.other");
    EXPECT_EQ(post(KeyCodeSequence::single({0x00, EventFlags::option})), Posted::none);
    EXPECT_EQ(post(KeyCodeSequence::single({0x00, EventFlags::shift})), Posted::all);
    const std::vector<TypedKey> expected = {{38, 0x01, "Q"}};  // azerty: Q where us has A
    EXPECT_EQ(typedKeys(keysReceived(*window)), expected);
    EXPECT_EQ(diagnostics.str(),
              "A command was not typed: the keyboard layout has no key for one of its "
              "modifiers.\n");
}

}  // namespace
}  // namespace corvane::testing
