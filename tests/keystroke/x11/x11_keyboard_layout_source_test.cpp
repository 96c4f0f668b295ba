#include "keystroke/x11/x11_keyboard_layout_source.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "keystroke/character_lookup.h"
#include "keystroke/event_posting.h"
#include "keystroke/x11/xcb_xkb.h"
#include "support/x11_desktop.h"

namespace corvane::testing {
namespace {

using X11KeyboardLayoutSourceTest = X11DesktopTest;

// What the key at a virtual key code types without modifiers on the current layout.
std::u16string unshifted(KeyboardLayoutSource& layouts, std::uint16_t virtualKeyCode) {
    const std::shared_ptr<KeyboardLayout> layout = layouts.currentLayout();
    if (!layout) {
        return u"(no layout)";
    }
    std::array<char16_t, 4> text{};
    std::size_t length = 0;
    std::uint32_t deadKeyState = 0;
    if (!layout->translate(virtualKeyCode, 0, layout->keyboardType(), deadKeyState, text, length)) {
        return u"(none)";
    }
    return std::u16string(text.data(), length);
}

constexpr std::uint16_t virtualKeyY = 0x10;  // 'y' on us, 'z' on de

void lockGroup(xcb_connection_t* c, std::uint8_t group) {
    xcb_xkb_latch_lock_state(c, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, group, 0, 0, 0);
    xcb_flush(c);
}

TEST_F(X11KeyboardLayoutSourceTest, KeepsTheKeymapWhileNothingChanges) {
    // The first XTest key makes the XTest device the core keyboard's source, which the
    // server announces as a new keyboard; from then on typing changes nothing.
    postKey(*events, 0x00, 0);
    const std::shared_ptr<KeyboardLayout> first = layouts->currentLayout();
    ASSERT_NE(first, nullptr);
    postKey(*events, 0x00, EventFlags::shift);
    postKey(*events, 0x01, EventFlags::option);
    EXPECT_EQ(layouts->currentLayout(), first);
    EXPECT_EQ(unshifted(*layouts, virtualKeyY), u"y");
}

TEST_F(X11KeyboardLayoutSourceTest, FollowsSetxkbmapAtTheNextCall) {
    EXPECT_EQ(unshifted(*layouts, virtualKeyY), u"y");
    ASSERT_TRUE(server->run({"setxkbmap", "de"}));
    EXPECT_EQ(unshifted(*layouts, virtualKeyY), u"z");
    ASSERT_TRUE(server->run({"setxkbmap", "us"}));
    EXPECT_EQ(unshifted(*layouts, virtualKeyY), u"y");
}

TEST_F(X11KeyboardLayoutSourceTest, FollowsGroupSwitches) {
    ASSERT_TRUE(server->run({"setxkbmap", "-layout", "us,de"}));
    EXPECT_EQ(unshifted(*layouts, virtualKeyY), u"y");
    const std::shared_ptr<xkb::XkbKeymapLayout> usGroup = layouts->currentKeymapLayout();

    lockGroup(connection->get(), 1);
    EXPECT_EQ(unshifted(*layouts, virtualKeyY), u"z");
    // Only the group changed: the same compiled keymap serves.
    EXPECT_EQ(layouts->currentKeymapLayout()->keymap(), usGroup->keymap());

    lockGroup(connection->get(), 0);
    EXPECT_EQ(unshifted(*layouts, virtualKeyY), u"y");
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
    postKey(*events, 0x00, EventFlags::option);                // cannot be typed: nothing
    postKey(*events, 0x00, EventFlags::shift);                 // still typed
    const std::vector<TypedKey> expected = {{38, 0x01, "Q"}};  // azerty: Q where us has A
    EXPECT_EQ(typedKeys(keysReceived(*window)), expected);
}

}  // namespace
}  // namespace corvane::testing
