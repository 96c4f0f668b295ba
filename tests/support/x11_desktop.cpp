#include "support/x11_desktop.h"

#include <xcb/xtest.h>

#include <set>

namespace corvane::testing {

namespace {

bool isModifierKeysym(const std::string& keysym) {
    static const std::set<std::string> modifiers = {
        "Shift_L", "Shift_R", "Control_L", "Control_R", "ISO_Level3_Shift",
        "Super_L", "Super_R", "Alt_L",     "Alt_R",     "Caps_Lock"};
    return modifiers.count(keysym) != 0;
}

}  // namespace

void X11DesktopTest::userKey(std::uint8_t type, xcb_keycode_t keycode) {
    xcb_test_fake_input(connection->get(), type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(connection->get());
}

std::vector<TypedKey> typedKeys(const std::vector<RecordedKey>& keys) {
    std::vector<TypedKey> typed;
    const RecordedKey* pressed = nullptr;
    for (const RecordedKey& key : keys) {
        if (isModifierKeysym(key.keysym)) {
            continue;
        }
        if (key.press) {
            EXPECT_EQ(pressed, nullptr)
                << "key " << key.keycode << " pressed while another is down";
            pressed = &key;
            typed.push_back({key.keycode, key.state, key.text});
            continue;
        }
        EXPECT_TRUE(pressed != nullptr && pressed->keycode == key.keycode &&
                    pressed->state == key.state)
            << "release of key " << key.keycode << " state " << key.state
            << " does not match its press";
        pressed = nullptr;
    }
    EXPECT_EQ(pressed, nullptr) << "a key was never released";
    return typed;
}

void PrintTo(const TypedKey& key, std::ostream* out) {
    *out << "{keycode " << key.keycode << ", state 0x" << std::hex << key.state << std::dec
         << ", \"" << key.text << "\"}";
}

}  // namespace corvane::testing
