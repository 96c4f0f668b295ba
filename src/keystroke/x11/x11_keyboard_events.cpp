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
    const KeyPlan planned = plan(keys, shortcuts, keyboard);
    if (planned.refusal != nullptr) {
        connection_.diagnostics() << planned.refusal << std::endl;
        return false;
    }
    for (const KeyStep& step : planned.steps) {
        write(step);
    }
    // The whole command reaches the server in one write, in order.
    xcb_flush(connection_.get());
    return true;
}

KeyPlan X11KeyboardEvents::plan(const KeyCodeSequence& keys, ShortcutConvention shortcuts,
                                const std::optional<KeyboardSnapshot>& keyboard) {
    if (!keyboard) {
        return {{}, "A command was not typed: the X server's keyboard map cannot be read."};
    }
    std::vector<KeyCodePair> pairs;
    collectPairs(keys, pairs);
    std::vector<xcb_keycode_t> keycodes;
    for (const KeyCodePair& pair : pairs) {
        const std::optional<xcb_keycode_t> key = x11KeycodeForVirtualKey(pair.keyCode);
        if (!key) {
            return {{}, "A command was not typed: one of its keys is missing from the keyboard."};
        }
        keycodes.push_back(*key);
    }
    std::vector<xcb_keycode_t> userHeld;
    if (!userModifiers(*keyboard, keycodes, userHeld)) {
        return {{}, "A command was not typed: a modifier key is held down on the keyboard."};
    }
    return planCommand(pairs, keycodes, shortcuts, *keyboard, userHeld);
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
    return onKeyboards && std::none_of(held.begin(), held.end(),
                                       [&](xcb_keycode_t key) { return onKeyboards->test(key); });
}

void X11KeyboardEvents::write(const KeyStep& step) {
    xcb_connection_t* c = connection_.get();
    switch (step.kind) {
        case KeyStep::Kind::press:
        case KeyStep::Kind::release:
            xcb_test_fake_input(c,
                                step.kind == KeyStep::Kind::press ? XCB_KEY_PRESS : XCB_KEY_RELEASE,
                                step.code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            break;
        case KeyStep::Kind::lock:
        case KeyStep::Kind::unlock:
            xcb_xkb_latch_lock_state(c, static_cast<xcb_xkb_device_spec_t>(layouts_.deviceId()),
                                     step.code, step.kind == KeyStep::Kind::lock ? step.code : 0, 0,
                                     0, 0, 0, 0);
            break;
    }
}

}  // namespace corvane::x11
