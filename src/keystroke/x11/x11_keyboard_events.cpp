#include "keystroke/x11/x11_keyboard_events.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "keystroke/x11/keyboard_devices.h"
#include "keystroke/x11/xcb_xkb.h"
#include "keystroke/xkb/virtual_keys.h"

namespace corvane::x11 {

namespace {

// How long a paused command waits: a small Windows program under Wine on an idle machine
// needs less than 5 ms to take a key.
constexpr std::chrono::milliseconds pauseLength{15};

std::optional<xcb_keycode_t> x11KeycodeForVirtualKey(std::uint16_t virtualKeyCode) {
    const std::optional<std::uint32_t> keycode = xkb::xkbKeycodeForVirtualKey(virtualKeyCode);
    return keycode ? x11Keycode(*keycode) : std::nullopt;
}

// Sends what has been written; with `roundTrip` also waits until the server has taken it.
// False when the connection fails.
bool send(xcb_connection_t* connection, bool roundTrip) {
    if (xcb_flush(connection) <= 0) {
        return false;
    }
    if (!roundTrip) {
        return true;
    }
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    std::free(reply);
    return reply != nullptr;
}

void finish(const KeyboardEvents::Done& done, Posted posted) {
    if (done) {
        done(posted);
    }
}

}  // namespace

X11KeyboardEvents::X11KeyboardEvents(X11Connection& connection, X11KeyboardLayoutSource& layouts,
                                     MainThreadTimer& timer)
    : connection_(connection), layouts_(layouts), timer_(timer) {
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
        return;
    }
    hasXInput_ = announceXInput(connection_.get());
    if (!hasXInput_) {
        connection_.diagnostics() << "The X server has no XInput 2 extension: modifier keys "
                                     "held down are let go of for each command and pressed "
                                     "again after it."
                                  << std::endl;
    }
}

void X11KeyboardEvents::postCommand(const KeyCodeSequence& keys, ShortcutConvention shortcuts,
                                    Done done) {
    if (!hasXTest_ || !connection_.usable()) {
        finish(done, Posted::none);  // said already
        return;
    }
    KeyPlan planned;
    {
        // The command handler's look, or one of this command's own.
        const KeyboardLayoutCommandScope oneLook(layouts_);
        planned = plan(keys, shortcuts, layouts_.snapshot());
    }
    if (planned.refusal != nullptr) {
        connection_.diagnostics() << planned.refusal << std::endl;
        finish(done, Posted::none);
        return;
    }
    type(std::move(planned.steps), 0, std::move(done));
}

KeyPlan X11KeyboardEvents::plan(const KeyCodeSequence& keys, ShortcutConvention shortcuts,
                                const std::optional<KeyboardSnapshot>& keyboard) {
    if (!keyboard) {
        return {{}, "A command was not typed: the X server's keyboard map cannot be read."};
    }
    std::vector<KeyCodePair> pairs;
    appendItemsInOrder(keys, pairs);
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
    return planCommand(pairs, keycodes, shortcuts, *keyboard->facts, keyboard->lockedModifiers,
                       userHeld);
}

bool X11KeyboardEvents::userModifiers(const KeyboardSnapshot& keyboard,
                                      const std::vector<xcb_keycode_t>& keys,
                                      std::vector<xcb_keycode_t>& held) {
    if (keyboard.depressedModifiers == 0) {
        return true;
    }
    for (std::size_t keycode = 0; keycode < x11KeycodeCount; ++keycode) {
        const auto key = static_cast<xcb_keycode_t>(keycode);
        if (keyboard.keysDown[key] && keyboard.facts->modifiersSetBy(key) != 0 &&
            std::find(keys.begin(), keys.end(), key) == keys.end()) {
            held.push_back(key);
        }
    }
    if (held.empty() || !hasXInput_) {
        return true;  // without XInput, every held modifier is taken for one XTest holds
    }
    // XTest lets go only of what an XTest client pressed. Each keyboard device has its own
    // key state, and XTest's keyboard is a device of its own.
    const std::optional<X11KeySet> onKeyboards =
        keysHeldOnKeyboards(connection_.get(), layouts_.deviceId());
    return onKeyboards && std::none_of(held.begin(), held.end(),
                                       [&](xcb_keycode_t key) { return onKeyboards->test(key); });
}

void X11KeyboardEvents::type(std::vector<KeyStep> steps, std::size_t next, Done done) {
    for (; next < steps.size() && steps[next].kind != KeyStep::Kind::pause; ++next) {
        write(steps[next]);
    }
    // A pause waits until the server has taken what came before; then the application has
    // a moment to read it (Wine reads the events of its X connection only between messages).
    const bool paused = next < steps.size();
    const bool sent = send(connection_.get(), paused);
    if (!connection_.usable("a command was not typed, or not all of it") || !sent) {
        finish(done, Posted::broken);
        return;
    }
    if (!paused) {
        finish(done, Posted::all);
        return;
    }
    timer_.runAfter(pauseLength,
                    [this, lifetime = std::weak_ptr<int>(lifetime_), steps = std::move(steps), next,
                     done = std::move(done)]() mutable {
                        if (lifetime.lock()) {
                            type(std::move(steps), next + 1, std::move(done));
                        }
                    });
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
        case KeyStep::Kind::pause:
            break;  // type() stops at a pause
    }
}

}  // namespace corvane::x11
