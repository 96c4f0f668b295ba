#include "keystroke/x11/key_plan.h"

namespace corvane::x11 {

namespace {

// Builds the steps, keeping track of what is locked.
class Planner {
  public:
    Planner(std::vector<KeyStep>& steps, std::uint8_t locks) : steps_(steps), locks_(locks) {}

    void add(KeyStep::Kind kind, std::uint8_t code) { steps_.push_back({kind, code}); }
    // Brings the locks of `mask` to `wanted`.
    void setLocks(std::uint8_t mask, std::uint8_t wanted) {
        const auto on = static_cast<std::uint8_t>(mask & wanted & ~locks_);
        const auto off = static_cast<std::uint8_t>(mask & ~wanted & locks_);
        if (on != 0) {
            add(KeyStep::Kind::lock, on);
        }
        if (off != 0) {
            add(KeyStep::Kind::unlock, off);
        }
        locks_ = static_cast<std::uint8_t>((locks_ | on) & ~off);
    }
    std::uint8_t locks() const { return locks_; }

  private:
    std::vector<KeyStep>& steps_;
    std::uint8_t locks_;
};

}  // namespace

KeyPlan planCommand(const std::vector<KeyCodePair>& pairs, const std::vector<xcb_keycode_t>& keys,
                    ShortcutConvention shortcuts, const KeyboardSnapshot& keyboard,
                    const std::vector<xcb_keycode_t>& userHeld) {
    KeyPlan plan;
    if (pairs.empty()) {
        return plan;
    }
    const KeymapFacts& facts = *keyboard.facts;
    const std::uint8_t userLocks = keyboard.lockedModifiers;
    const std::uint8_t numLock = facts.numLockMask();
    Planner planner(plan.steps, userLocks);
    for (const xcb_keycode_t key : userHeld) {
        planner.add(KeyStep::Kind::release, key);
    }
    planner.setLocks(XCB_MOD_MASK_LOCK, 0);

    for (std::size_t index = 0; index < pairs.size(); ++index) {
        const KeyCodePair& pair = pairs[index];
        const xcb_keycode_t key = keys[index];
        const ModifierKeys modifiers =
            modifierKeysFor(pair.flags, pair.character ? layoutModifiers : shortcuts);
        std::vector<xcb_keycode_t> modifierKeys;
        std::uint8_t held = 0;
        for (std::size_t modifier = 0; modifier < modifierKeyCount; ++modifier) {
            if (!modifiers[modifier]) {
                continue;
            }
            const xkb_keycode_t modifierKey = facts.keyFor(static_cast<ModifierKey>(modifier));
            if (modifierKey == XKB_KEYCODE_INVALID || modifierKey > 255) {
                // Typing the key without that modifier would be another keystroke.
                return {{},
                        "A command was not typed: the keyboard layout has no key for one of its "
                        "modifiers."};
            }
            modifierKeys.push_back(static_cast<xcb_keycode_t>(modifierKey));
            held |= facts.modifiersSetBy(modifierKey);
        }
        // Keypad keys give their digits only with NumLock on. Other keys are typed without
        // it, so the application sees them alike whether the user keeps NumLock on or off,
        // unless it would see each change as a key press of its own.
        const std::uint8_t numLockElsewhere = shortcuts.locksAreKeys ? userLocks & numLock : 0;
        planner.setLocks(numLock, facts.isKeypadKey(key) ? numLock : numLockElsewhere);
        const std::uint8_t deliver =
            pair.character ? 0 : facts.lockToDeliver(key, held, planner.locks());

        for (const xcb_keycode_t modifierKey : modifierKeys) {
            planner.add(KeyStep::Kind::press, modifierKey);
        }
        planner.setLocks(deliver, deliver);
        planner.add(KeyStep::Kind::press, key);
        planner.add(KeyStep::Kind::release, key);
        planner.setLocks(deliver, userLocks);
        for (auto modifierKey = modifierKeys.rbegin(); modifierKey != modifierKeys.rend();
             ++modifierKey) {
            planner.add(KeyStep::Kind::release, *modifierKey);
        }
    }
    planner.setLocks(0xFF, userLocks);
    for (const xcb_keycode_t key : userHeld) {
        planner.add(KeyStep::Kind::press, key);
    }
    return plan;
}

}  // namespace corvane::x11
