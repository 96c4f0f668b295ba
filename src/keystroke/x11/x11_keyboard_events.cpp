#include "keystroke/x11/x11_keyboard_events.h"

#include <xcb/xtest.h>

#include <algorithm>

#include "keystroke/x11/keyboard_devices.h"
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

// A key press posted through a source, typed whole as a command of its own.
class XTestEventSource final : public KeyboardEventSource {
  public:
    explicit XTestEventSource(X11KeyboardEvents& events) : events_(events) {}

    std::optional<KeyboardEvent> createKeyboardEvent(std::uint16_t keyCode, bool keyDown) override {
        if (!x11KeycodeForVirtualKey(keyCode)) {
            return std::nullopt;
        }
        return KeyboardEvent{keyCode, keyDown, 0};
    }

    void post(const KeyboardEvent& event) override {
        if (event.keyDown) {
            events_.postCommand(KeyCodeSequence::single({event.keyCode, event.flags}),
                                macShortcuts);
        }
    }

  private:
    X11KeyboardEvents& events_;
};

constexpr const char* missingModifier =
    "A command was not typed: the keyboard layout has no key for one of its modifiers.";
constexpr const char* heldModifier =
    "A command was not typed: a modifier key is held down on the keyboard.";

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
    hasXInput_ = announceXInput(connection_.get());
}

std::unique_ptr<KeyboardEventSource> X11KeyboardEvents::createSource() {
    if (!hasXTest_ || !connection_.usable()) {
        return nullptr;
    }
    return std::make_unique<XTestEventSource>(*this);
}

bool X11KeyboardEvents::postCommand(const KeyCodeSequence& keys, ShortcutConvention shortcuts) {
    if (!hasXTest_ || !connection_.usable()) {
        return false;  // said already
    }
    // The command handler's look, or one of this command's own.
    const KeyboardLayoutCommandScope oneLook(layouts_);
    const std::optional<KeyboardSnapshot> keyboard = layouts_.snapshot();
    const Plan planned =
        keyboard ? plan(keys, shortcuts, *keyboard)
                 : Plan{{}, "A command was not typed: the X server's keyboard map cannot be read."};
    if (planned.refusal != nullptr) {
        connection_.diagnostics() << planned.refusal << std::endl;
        return false;
    }
    for (const Step& step : planned.steps) {
        write(step);
    }
    // The whole command reaches the server in one write, in order.
    xcb_flush(connection_.get());
    return true;
}

X11KeyboardEvents::Plan X11KeyboardEvents::plan(const KeyCodeSequence& keys,
                                                ShortcutConvention shortcuts,
                                                const KeyboardSnapshot& keyboard) {
    const KeymapFacts& facts = *keyboard.facts;
    std::vector<KeyCodePair> pairs;
    collectPairs(keys, pairs);
    std::vector<xcb_keycode_t> commandKeys;
    for (const KeyCodePair& pair : pairs) {
        const std::optional<xcb_keycode_t> key = x11KeycodeForVirtualKey(pair.keyCode);
        if (!key) {
            return {{}, "A command was not typed: one of its keys is missing from the keyboard."};
        }
        commandKeys.push_back(*key);
    }

    Plan result;
    std::vector<Step>& steps = result.steps;
    std::vector<xcb_keycode_t> userHeld;
    if (!userModifiers(keyboard, commandKeys, userHeld)) {
        return {{}, heldModifier};
    }
    for (const xcb_keycode_t key : userHeld) {
        steps.push_back({Step::Kind::release, key});
    }
    constexpr std::uint8_t capsLock = XCB_MOD_MASK_LOCK;
    const std::uint8_t numLock = facts.numLockMask();
    const std::uint8_t userLocks = keyboard.lockedModifiers;
    std::uint8_t locks = userLocks;
    // Brings the locks of `mask` to `wanted` with a lock request, so the application sees
    // no Caps Lock or NumLock key.
    const auto setLocks = [&](std::uint8_t mask, std::uint8_t wanted) {
        const std::uint8_t on = mask & wanted & ~locks, off = mask & ~wanted & locks;
        if (on != 0) {
            steps.push_back({Step::Kind::lock, on});
        }
        if (off != 0) {
            steps.push_back({Step::Kind::unlock, off});
        }
        locks = static_cast<std::uint8_t>((locks | on) & ~off);
    };
    setLocks(capsLock, 0);

    for (std::size_t index = 0; index < pairs.size(); ++index) {
        const KeyCodePair& pair = pairs[index];
        const xcb_keycode_t key = commandKeys[index];
        const ModifierKeys modifiers =
            modifierKeysFor(pair.flags, pair.character ? layoutModifiers : shortcuts);
        std::vector<xcb_keycode_t> modifierKeys;
        std::uint8_t held = 0;
        for (std::size_t modifier = 0; modifier < modifierKeyCount; ++modifier) {
            if (!modifiers[modifier]) {
                continue;
            }
            const xkb_keycode_t modifierKey = facts.keyFor(static_cast<ModifierKey>(modifier));
            if (modifierKey == XKB_KEYCODE_INVALID || modifierKey > maxX11Keycode) {
                return {{}, missingModifier};
            }
            modifierKeys.push_back(static_cast<xcb_keycode_t>(modifierKey));
            held |= facts.modifiersSetBy(modifierKey);
        }
        // Keypad keys give their digits only with NumLock on; the application sees every
        // key alike whether the user keeps NumLock on or off.
        setLocks(numLock, facts.isKeypadKey(key) ? numLock : 0);
        const std::uint8_t deliver = pair.character ? 0 : facts.lockToDeliver(key, held, locks);

        for (const xcb_keycode_t modifierKey : modifierKeys) {
            steps.push_back({Step::Kind::press, modifierKey});
        }
        setLocks(deliver, deliver);
        steps.push_back({Step::Kind::press, key});
        steps.push_back({Step::Kind::release, key});
        setLocks(deliver, userLocks);
        for (auto modifierKey = modifierKeys.rbegin(); modifierKey != modifierKeys.rend();
             ++modifierKey) {
            steps.push_back({Step::Kind::release, *modifierKey});
        }
    }
    setLocks(0xFF, userLocks);
    for (const xcb_keycode_t key : userHeld) {
        steps.push_back({Step::Kind::press, key});
    }
    return result;
}

bool X11KeyboardEvents::userModifiers(const KeyboardSnapshot& keyboard,
                                      const std::vector<xcb_keycode_t>& keys,
                                      std::vector<xcb_keycode_t>& held) {
    if (keyboard.depressedModifiers == 0) {
        return true;
    }
    for (xkb_keycode_t keycode = 8; keycode <= maxX11Keycode; ++keycode) {
        const auto key = static_cast<xcb_keycode_t>(keycode);
        if (keyboard.isKeyDown(key) && keyboard.facts->modifiersSetBy(key) != 0 &&
            std::find(keys.begin(), keys.end(), key) == keys.end()) {
            held.push_back(key);
        }
    }
    if (held.empty()) {
        return true;
    }
    // XTest lets go only of what an XTest client pressed. Each keyboard device has its own
    // key state, and XTest's keyboard is a device of its own.
    const std::optional<std::bitset<256>> onKeyboards =
        hasXInput_ ? keysHeldOnKeyboards(connection_.get(), layouts_.deviceId()) : std::nullopt;
    return onKeyboards && std::none_of(held.begin(), held.end(), [&](xcb_keycode_t key) {
               return onKeyboards->test(key);
           });
}

void X11KeyboardEvents::write(const Step& step) {
    xcb_connection_t* c = connection_.get();
    switch (step.kind) {
        case Step::Kind::press:
        case Step::Kind::release:
            xcb_test_fake_input(c, step.kind == Step::Kind::press ? XCB_KEY_PRESS : XCB_KEY_RELEASE,
                                step.code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            break;
        case Step::Kind::lock:
        case Step::Kind::unlock:
            xcb_xkb_latch_lock_state(c, static_cast<xcb_xkb_device_spec_t>(layouts_.deviceId()),
                                     step.code, step.kind == Step::Kind::lock ? step.code : 0, 0,
                                     0, 0, 0, 0);
            break;
    }
}

}  // namespace corvane::x11
