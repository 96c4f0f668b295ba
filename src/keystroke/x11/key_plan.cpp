#include "keystroke/x11/key_plan.h"

namespace corvane::x11 {

namespace {

// The steps of a plan, and the locks as they stand after them.
class Steps {
  public:
    Steps(std::vector<KeyStep>& steps, std::uint8_t locks) : steps_(steps), locks_(locks) {}

    void press(xcb_keycode_t key) { steps_.push_back({KeyStep::Kind::press, key}); }
    void release(xcb_keycode_t key) { steps_.push_back({KeyStep::Kind::release, key}); }
    // Brings the locks of `mask` to `wanted`.
    void setLocks(std::uint8_t mask, std::uint8_t wanted) {
        const auto on = static_cast<std::uint8_t>(mask & wanted & ~locks_);
        const auto off = static_cast<std::uint8_t>(mask & ~wanted & locks_);
        if (on != 0) {
            steps_.push_back({KeyStep::Kind::lock, on});
        }
        if (off != 0) {
            steps_.push_back({KeyStep::Kind::unlock, off});
        }
        locks_ = static_cast<std::uint8_t>((locks_ | on) & ~off);
    }
    // One pause between two keys is enough; none is needed before the first request.
    void pause() {
        if (!steps_.empty() && steps_.back().kind != KeyStep::Kind::pause) {
            steps_.push_back({KeyStep::Kind::pause, 0});
        }
    }
    std::uint8_t locks() const { return locks_; }

  private:
    std::vector<KeyStep>& steps_;
    std::uint8_t locks_;
};

// The modifier keys that give a pair's flags, in the order they are pressed; false when the
// layout lacks one of them, as typing the key without it would be another keystroke.
bool modifierKeysOf(const KeyCodePair& pair, ShortcutConvention shortcuts, const KeymapFacts& facts,
                    std::vector<xcb_keycode_t>& keys) {
    const ModifierKeys modifiers =
        modifierKeysFor(pair.flags, pair.character ? layoutModifiers : shortcuts);
    for (std::size_t modifier = 0; modifier < modifierKeyCount; ++modifier) {
        if (modifiers[modifier]) {
            const std::optional<xcb_keycode_t> key =
                facts.keyFor(static_cast<ModifierKey>(modifier));
            if (!key) {
                return false;
            }
            keys.push_back(*key);
        }
    }
    return true;
}

// Wine works out a character's third level from the last key event it has read: such a
// character gets time of its own before and after it.
bool needsOwnTime(const KeyCodePair& pair, ShortcutConvention shortcuts) {
    return shortcuts.wine && pair.character &&
           modifierKeysFor(pair.flags,
                           layoutModifiers)[static_cast<std::size_t>(ModifierKey::levelThree)];
}

// One key: its modifiers pressed, the lock that gets it past the server taken, the key
// pressed and released, and everything undone in reverse order.
void typeKey(Steps& steps, const std::vector<xcb_keycode_t>& modifiers, std::uint8_t deliver,
             xcb_keycode_t key) {
    const std::uint8_t locks = steps.locks();
    for (const xcb_keycode_t modifier : modifiers) {
        steps.press(modifier);
    }
    steps.setLocks(deliver, deliver);
    steps.press(key);
    steps.release(key);
    steps.setLocks(deliver, locks);
    for (auto modifier = modifiers.rbegin(); modifier != modifiers.rend(); ++modifier) {
        steps.release(*modifier);
    }
}

}  // namespace

KeyPlan planCommand(const std::vector<KeyCodePair>& pairs, const std::vector<xcb_keycode_t>& keys,
                    ShortcutConvention shortcuts, const KeymapFacts& facts, std::uint8_t userLocks,
                    const std::vector<xcb_keycode_t>& userHeld) {
    KeyPlan plan;
    if (pairs.empty()) {
        return plan;
    }
    const std::uint8_t numLock = facts.numLockMask();
    Steps steps(plan.steps, userLocks);
    for (const xcb_keycode_t key : userHeld) {
        steps.release(key);
    }
    steps.setLocks(static_cast<std::uint8_t>(~numLock), 0);

    for (std::size_t index = 0; index < pairs.size(); ++index) {
        const KeyCodePair& pair = pairs[index];
        const xcb_keycode_t key = keys[index];
        std::vector<xcb_keycode_t> modifiers;
        if (!modifierKeysOf(pair, shortcuts, facts, modifiers)) {
            return {{},
                    "A command was not typed: the keyboard layout has no key for one of its "
                    "modifiers."};
        }
        std::uint8_t held = 0;
        for (const xcb_keycode_t modifier : modifiers) {
            held |= facts.modifiersSetBy(modifier);
        }
        // The locks this key wants. Keypad keys give their digits only with NumLock on.
        // Other keys are typed without it, so the application sees them alike whether the
        // user keeps NumLock on or off, unless it would see each change as a key press.
        const std::uint8_t numLockElsewhere = shortcuts.wine ? userLocks & numLock : 0;
        steps.setLocks(numLock, facts.isKeypadKey(key) ? numLock : numLockElsewhere);
        const std::optional<std::uint8_t> deliver =
            facts.lockThatDelivers(key, held, steps.locks());
        if (!deliver) {
            return {{},
                    "A command was not typed: the X server would take one of its keys for "
                    "itself."};
        }

        const bool ownTime = needsOwnTime(pair, shortcuts);
        if (ownTime) {
            steps.pause();
        }
        typeKey(steps, modifiers, *deliver, key);
        if (ownTime) {
            steps.pause();
        }
    }
    steps.setLocks(0xFF, userLocks);
    for (const xcb_keycode_t key : userHeld) {
        steps.press(key);
    }
    return plan;
}

}  // namespace corvane::x11
