#include "keystroke/key_resolution.h"

#include <vector>

#include "keystroke/character_lookup.h"
#include "keystroke/fixed_keys.h"

namespace corvane {

CGEventFlags eventFlagsForModifierState(std::uint32_t modifierState) {
    CGEventFlags flags = 0;
    if ((modifierState & ModifierState::shift) != 0) {
        flags |= EventFlags::shift;
    }
    if ((modifierState & ModifierState::option) != 0) {
        flags |= EventFlags::option;
    }
    if ((modifierState & ModifierState::control) != 0) {
        flags |= EventFlags::control;
    }
    if ((modifierState & ModifierState::command) != 0) {
        flags |= EventFlags::command;
    }
    return flags;
}

namespace {

std::optional<KeyCodePair> resolveKey(KeyboardLayoutSource& layouts, const KeyType& key) {
    if (key.kind() != KeyType::Case::string) {
        KeyCodePair pair = fixedKeyCodePair(key);
        // A letter shortcut goes to the key that gives the letter on the user's layout
        // (Dvorak, Colemak, ...); a layout without it keeps the QWERTY position.
        if (const std::optional<char16_t> letter = fixedKeyLetter(key)) {
            pair.keyCode = keyCodeForLetter(layouts, *letter).value_or(pair.keyCode);
        }
        return pair;
    }
    std::uint16_t keyCode = 0;
    std::uint32_t modifierState = 0;
    if (!keyCodeForString(layouts, key.text(), keyCode, modifierState)) {
        return std::nullopt;
    }
    return KeyCodePair{keyCode, eventFlagsForModifierState(modifierState), true};
}

}  // namespace

std::optional<KeyCodeSequence> resolveKeySequence(KeyboardLayoutSource& layouts,
                                                  const KeySequence& sequence) {
    if (const KeyType* key = sequence.asSingle()) {
        std::optional<KeyCodePair> pair = resolveKey(layouts, *key);
        if (!pair) {
            return std::nullopt;
        }
        return KeyCodeSequence::single(*pair);
    }
    const std::vector<KeySequence>& items = *sequence.asMultiple();
    std::vector<KeyCodeSequence> resolved;
    resolved.reserve(items.size());
    for (const KeySequence& item : items) {
        std::optional<KeyCodeSequence> element = resolveKeySequence(layouts, item);
        if (!element) {
            return std::nullopt;
        }
        resolved.push_back(std::move(*element));
    }
    return KeyCodeSequence::multiple(std::move(resolved));
}

}  // namespace corvane
