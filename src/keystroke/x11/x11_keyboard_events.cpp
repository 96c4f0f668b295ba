#include "keystroke/x11/x11_keyboard_events.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>

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

void collectPairs(const KeyCodeSequence& keys, std::vector<KeyCodePair>& pairs) {
    if (const KeyCodePair* pair = keys.asSingle()) {
        pairs.push_back(*pair);
        return;
    }
    for (const KeyCodeSequence& element : *keys.asMultiple()) {
        collectPairs(element, pairs);
    }
}

// One key press of a command; a key posted on its own begins and ends a command.
class XTestEventSource final : public KeyboardEventSource {
  public:
    explicit XTestEventSource(X11KeyboardEvents& events) : events_(events) {}
    ~XTestEventSource() override {
        // A key-down whose key-up never came is released all the same.
        finishPress();
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
        const std::optional<xcb_keycode_t> key = x11KeycodeForVirtualKey(event.keyCode);
        if (!key) {
            return;
        }
        if (!event.keyDown) {
            if (pressed_ == key) {
                finishPress();
            }
            return;
        }
        finishPress();
        if (!events_.inCommand()) {
            if (!events_.beginCommand(KeyCodeSequence::single({event.keyCode, event.flags}))) {
                return;
            }
            ownsCommand_ = true;
        }
        events_.pressKey(*key, event.flags);
        pressed_ = key;
    }

  private:
    void finishPress() {
        if (pressed_) {
            events_.releaseKey();
            pressed_.reset();
        }
        if (ownsCommand_) {
            events_.endCommand();
            ownsCommand_ = false;
        }
    }

    X11KeyboardEvents& events_;
    std::optional<xcb_keycode_t> pressed_;
    bool ownsCommand_ = false;
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
    return std::make_unique<XTestEventSource>(*this);
}

bool X11KeyboardEvents::beginCommand(const KeyCodeSequence& keys) {
    if (!hasXTest_ || !connection_.usable()) {
        return false;  // said already
    }
    std::vector<KeyCodePair> pairs;
    collectPairs(keys, pairs);
    std::vector<xcb_keycode_t> commandKeys;
    CGEventFlags allFlags = 0;
    for (const KeyCodePair& pair : pairs) {
        const std::optional<xcb_keycode_t> key = x11KeycodeForVirtualKey(pair.keyCode);
        if (!key) {
            return false;  // that key would make no event: the command would not be whole
        }
        commandKeys.push_back(*key);
        allFlags |= pair.flags;
    }

    Command command;
    command.keyboard = layouts_.snapshot();
    if (!command.keyboard) {
        return allFlags == 0;  // without XKB no modifier key can be found
    }
    xkb_keymap* keymap = command.keyboard->layout->keymap();
    const xkb_layout_index_t group = command.keyboard->layout->layoutIndex();
    if (!modifierKeysForFlags(keymap, group, allFlags)) {
        // Typing a key without its modifiers would be another keystroke.
        connection_.diagnostics() << "A command was not typed: the keyboard layout has no key "
                                     "for one of its modifiers."
                                  << std::endl;
        return false;
    }
    if (!releaseUserModifiers(command, commandKeys)) {
        connection_.diagnostics() << "A command was not typed: a modifier key is held down on "
                                     "the keyboard."
                                  << std::endl;
        return false;
    }
    command.capsLockUnlocked = (command.keyboard->lockedModifiers & XCB_MOD_MASK_LOCK) != 0;
    if (command.capsLockUnlocked) {
        lockModifiers(XCB_MOD_MASK_LOCK, false);
    }
    command.numLockMask = command.keyboard->numLockMask;
    command.userNumLock = (command.keyboard->lockedModifiers & command.numLockMask) != 0;
    command.numLockOn = command.userNumLock;
    command_ = std::move(command);
    return true;
}

bool X11KeyboardEvents::releaseUserModifiers(Command& command,
                                             const std::vector<xcb_keycode_t>& keys) {
    const KeyboardSnapshot& keyboard = *command.keyboard;
    if (keyboard.depressedModifiers == 0) {
        return true;
    }
    xkb_keymap* keymap = keyboard.layout->keymap();
    for (xkb_keycode_t keycode = 8; keycode <= maxX11Keycode; ++keycode) {
        const auto key = static_cast<xcb_keycode_t>(keycode);
        if (keyboard.isKeyDown(key) && std::find(keys.begin(), keys.end(), key) == keys.end() &&
            isModifierKey(keymap, keycode)) {
            command.userModifiersReleased.push_back(key);
            fake(XCB_KEY_RELEASE, key);
        }
    }
    if (command.userModifiersReleased.empty()) {
        return true;
    }
    // XTest lets go only of what an XTest client pressed: a key held on a real keyboard
    // stays down, and every key of the command would carry its modifier.
    xcb_connection_t* c = connection_.get();
    xcb_query_keymap_reply_t* reply = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
    KeyboardSnapshot after;
    if (reply != nullptr) {
        std::copy(std::begin(reply->keys), std::end(reply->keys), after.keysDown.begin());
    } else {
        after.keysDown.fill(0xFF);  // no answer: nothing is known to have gone up
    }
    std::free(reply);
    const std::vector<xcb_keycode_t>& released = command.userModifiersReleased;
    if (std::none_of(released.begin(), released.end(),
                     [&](xcb_keycode_t key) { return after.isKeyDown(key); })) {
        return true;
    }
    for (const xcb_keycode_t key : released) {
        if (!after.isKeyDown(key)) {
            fake(XCB_KEY_PRESS, key);
        }
    }
    xcb_flush(c);
    return false;
}

void X11KeyboardEvents::endCommand() {
    if (!command_) {
        return;
    }
    releaseKey();
    setNumLock(command_->userNumLock);
    const Command command = std::move(*command_);
    command_.reset();
    if (!connection_.usable()) {
        return;
    }
    if (command.capsLockUnlocked) {
        lockModifiers(XCB_MOD_MASK_LOCK, true);
    }
    for (const xcb_keycode_t key : command.userModifiersReleased) {
        fake(XCB_KEY_PRESS, key);
    }
    // The whole command reaches the server in one write, in order.
    xcb_flush(connection_.get());
}

void X11KeyboardEvents::pressKey(xcb_keycode_t key, CGEventFlags flags) {
    releaseKey();
    if (!command_ || !connection_.usable()) {
        return;
    }
    HeldKey held{key, {}};
    if (command_->keyboard) {
        xkb_keymap* keymap = command_->keyboard->layout->keymap();
        const xkb_layout_index_t group = command_->keyboard->layout->layoutIndex();
        const std::optional<std::vector<xkb_keycode_t>> modifiers =
            modifierKeysForFlags(keymap, group, flags);
        if (!modifiers) {
            return;  // not a key the command announced
        }
        held.modifiersPressed.assign(modifiers->begin(), modifiers->end());
        // Keypad keys give their digits only with NumLock on. The application sees every
        // key alike whether the user keeps NumLock on or off.
        setNumLock(isKeypadKey(keymap, group, key));
    } else if (flags != 0) {
        return;
    }
    for (const xcb_keycode_t modifier : held.modifiersPressed) {
        fake(XCB_KEY_PRESS, modifier);
    }
    fake(XCB_KEY_PRESS, key);
    held_ = std::move(held);
}

void X11KeyboardEvents::releaseKey() {
    if (!held_) {
        return;
    }
    const HeldKey held = std::move(*held_);
    held_.reset();
    if (!connection_.usable()) {
        return;
    }
    fake(XCB_KEY_RELEASE, held.key);
    for (auto modifier = held.modifiersPressed.rbegin(); modifier != held.modifiersPressed.rend();
         ++modifier) {
        fake(XCB_KEY_RELEASE, *modifier);
    }
}

void X11KeyboardEvents::fake(std::uint8_t type, xcb_keycode_t keycode) {
    xcb_test_fake_input(connection_.get(), type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

void X11KeyboardEvents::setNumLock(bool on) {
    if (command_->numLockMask != 0 && command_->numLockOn != on) {
        lockModifiers(command_->numLockMask, on);
        command_->numLockOn = on;
    }
}

// Locks or unlocks modifiers without a key event, so the application sees no Caps Lock
// or NumLock key.
void X11KeyboardEvents::lockModifiers(std::uint8_t mask, bool locked) {
    xcb_xkb_latch_lock_state(connection_.get(),
                             static_cast<xcb_xkb_device_spec_t>(layouts_.deviceId()), mask,
                             locked ? mask : 0, 0, 0, 0, 0, 0);
}

}  // namespace corvane::x11
