#include "keystroke/x11/x11_keyboard_events.h"

#include <xcb/xtest.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include "keystroke/x11/modifier_keys.h"
#include "keystroke/x11/xcb_xkb.h"
#include "keystroke/xkb/virtual_keys.h"

namespace corvane::x11 {

namespace {

// X keycodes fit in a byte.
constexpr xkb_keycode_t maxX11Keycode = 255;

std::optional<xcb_keycode_t> x11KeycodeForVirtualKey(std::uint16_t virtualKeyCode) {
    const std::optional<std::uint32_t> keycode = xkb::xkbKeycodeForVirtualKey(virtualKeyCode);
    if (!keycode || *keycode > maxX11Keycode) {
        return std::nullopt;
    }
    return static_cast<xcb_keycode_t>(*keycode);
}

bool isKeyDown(const xcb_query_keymap_reply_t& keys, xcb_keycode_t keycode) {
    return (keys.keys[keycode / 8] & (1U << (keycode % 8))) != 0;
}

// What a key-down changed and its key-up must undo.
struct HeldPress {
    xcb_keycode_t key = 0;
    std::vector<xcb_keycode_t> modifiersPressed;
    std::vector<xcb_keycode_t> userModifiersReleased;
    bool capsLockUnlocked = false;
};

class XTestEventSource final : public KeyboardEventSource {
  public:
    XTestEventSource(X11Connection& connection, X11KeyboardLayoutSource& layouts)
        : connection_(connection), layouts_(layouts) {}
    ~XTestEventSource() override {
        // A key-down whose key-up never came is released all the same.
        if (held_) {
            finishPress();
            xcb_flush(connection_.get());
        }
    }
    XTestEventSource(const XTestEventSource&) = delete;
    XTestEventSource& operator=(const XTestEventSource&) = delete;

    std::optional<KeyboardEvent> createKeyboardEvent(std::uint16_t keyCode, bool keyDown) override {
        if (!x11KeycodeForVirtualKey(keyCode)) {
            return std::nullopt;
        }
        return KeyboardEvent{keyCode, keyDown, 0};
    }

    void post(const KeyboardEvent& event) override {
        const std::optional<xcb_keycode_t> found = x11KeycodeForVirtualKey(event.keyCode);
        if (!found || !connection_.usable()) {
            return;
        }
        const xcb_keycode_t key = *found;
        if (event.keyDown) {
            if (held_) {
                finishPress();
            }
            startPress(key, event.flags);
        } else if (held_ && held_->key == key) {
            finishPress();
        }
        // Sent now, so the events reach the server in order before the caller goes on.
        xcb_flush(connection_.get());
    }

  private:
    void startPress(xcb_keycode_t key, CGEventFlags flags) {
        xcb_connection_t* c = connection_.get();
        const xcb_query_keymap_cookie_t keysCookie = xcb_query_keymap(c);
        const std::optional<KeyboardSnapshot> keyboard = layouts_.snapshot();
        xcb_query_keymap_reply_t* keys = xcb_query_keymap_reply(c, keysCookie, nullptr);
        HeldPress press{key, {}, {}, false};
        const bool planned = planPress(press, keyboard, keys, flags);
        std::free(keys);
        if (planned && releaseUserModifiers(press.userModifiersReleased)) {
            if (press.capsLockUnlocked) {
                setCapsLock(false);
            }
            for (const xcb_keycode_t modifier : press.modifiersPressed) {
                fake(XCB_KEY_PRESS, modifier);
            }
            fake(XCB_KEY_PRESS, key);
            held_ = std::move(press);
        }
    }

    // Lets go of the modifier keys the user holds. XTest can release only what an XTest
    // client pressed; a key held on a real keyboard stays down. Then the key would carry
    // a modifier that is not in its flags, so it is not typed: the keys that did go up
    // are pressed again and false is returned.
    bool releaseUserModifiers(const std::vector<xcb_keycode_t>& userModifiers) {
        if (userModifiers.empty()) {
            return true;
        }
        for (const xcb_keycode_t userModifier : userModifiers) {
            fake(XCB_KEY_RELEASE, userModifier);
        }
        xcb_connection_t* c = connection_.get();
        xcb_query_keymap_reply_t* keys = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
        if (keys == nullptr) {
            return false;
        }
        std::vector<xcb_keycode_t> released;
        for (const xcb_keycode_t userModifier : userModifiers) {
            if (!isKeyDown(*keys, userModifier)) {
                released.push_back(userModifier);
            }
        }
        std::free(keys);
        if (released.size() == userModifiers.size()) {
            return true;
        }
        for (const xcb_keycode_t userModifier : released) {
            fake(XCB_KEY_PRESS, userModifier);
        }
        return false;
    }

    // Fills in what must change around the key; false when the flags cannot be given.
    bool planPress(HeldPress& press, const std::optional<KeyboardSnapshot>& keyboard,
                   const xcb_query_keymap_reply_t* keys, CGEventFlags flags) const {
        if (!keyboard) {
            return flags == 0;  // without XKB no modifier key can be found
        }
        xkb_keymap* keymap = keyboard->layout->keymap();
        std::optional<std::vector<xkb_keycode_t>> modifiers =
            modifierKeysForFlags(keymap, keyboard->layout->layoutIndex(), flags);
        if (!modifiers) {
            return false;  // typing the key without its modifiers would be another keystroke
        }
        for (const xkb_keycode_t modifier : *modifiers) {
            press.modifiersPressed.push_back(static_cast<xcb_keycode_t>(modifier));
        }
        if (keyboard->depressedModifiers != 0 && keys != nullptr) {
            for (xkb_keycode_t keycode = 8; keycode <= maxX11Keycode; ++keycode) {
                const auto x11Keycode = static_cast<xcb_keycode_t>(keycode);
                if (x11Keycode != press.key && isKeyDown(*keys, x11Keycode) &&
                    isModifierKey(keymap, keycode)) {
                    press.userModifiersReleased.push_back(x11Keycode);
                }
            }
        }
        press.capsLockUnlocked = (keyboard->lockedModifiers & XCB_MOD_MASK_LOCK) != 0;
        return true;
    }

    void finishPress() {
        const HeldPress press = std::move(*held_);
        held_.reset();
        if (!connection_.usable()) {
            return;
        }
        fake(XCB_KEY_RELEASE, press.key);
        for (auto modifier = press.modifiersPressed.rbegin();
             modifier != press.modifiersPressed.rend(); ++modifier) {
            fake(XCB_KEY_RELEASE, *modifier);
        }
        if (press.capsLockUnlocked) {
            setCapsLock(true);
        }
        for (const xcb_keycode_t userModifier : press.userModifiersReleased) {
            fake(XCB_KEY_PRESS, userModifier);
        }
    }

    void fake(std::uint8_t type, xcb_keycode_t keycode) {
        xcb_test_fake_input(connection_.get(), type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }

    // Locks or unlocks Caps Lock without a key event, so the application sees no
    // Caps Lock key and the LED follows.
    void setCapsLock(bool locked) {
        xcb_xkb_latch_lock_state(connection_.get(),
                                 static_cast<xcb_xkb_device_spec_t>(layouts_.deviceId()),
                                 XCB_MOD_MASK_LOCK, locked ? XCB_MOD_MASK_LOCK : 0, 0, 0, 0, 0, 0);
    }

    X11Connection& connection_;
    X11KeyboardLayoutSource& layouts_;
    std::optional<HeldPress> held_;
};

}  // namespace

X11KeyboardEvents::X11KeyboardEvents(X11Connection& connection, X11KeyboardLayoutSource& layouts)
    : connection_(connection), layouts_(layouts) {
    if (!connection_.usable()) {
        return;
    }
    // A request of an extension the server lacks would close the whole connection.
    const xcb_query_extension_reply_t* xtest =
        xcb_get_extension_data(connection_.get(), &xcb_test_id);
    hasXTest_ = xtest != nullptr && xtest->present != 0;
    if (!hasXTest_) {
        connection_.diagnostics()
            << "The X server has no XTEST extension: no keystrokes can be typed." << std::endl;
    }
}

std::unique_ptr<KeyboardEventSource> X11KeyboardEvents::createSource() {
    if (!hasXTest_ || !connection_.usable()) {
        return nullptr;
    }
    return std::make_unique<XTestEventSource>(connection_, layouts_);
}

}  // namespace corvane::x11
