#include "command/command_table.h"

#include <vector>

namespace corvane {

namespace {

constexpr std::uint32_t classMask = 0xFF000000;
constexpr std::uint32_t pedalDiagramClass = 0x10000000;
constexpr int pedalCount = 7;
// Sibelius enters a divider between the third and the fourth pedal.
constexpr int sibeliusDividerAfter = 3;

KeySequence fixedItem(KeyType::Case key) {
    return KeySequence::single(KeyType::fixed(key));
}
KeySequence textItem(char16_t character) {
    return KeySequence::single(KeyType::string(std::u16string(1, character)));
}

KeySequence sibeliusPosition(std::uint32_t value) {
    switch (value) {
        case 0:
            return fixedItem(KeyType::Case::command_option_keypad9);
        case 1:
            return fixedItem(KeyType::Case::command_option_keypad7);
        default:  // 2 and 3 both enter the same pedal setting
            return fixedItem(KeyType::Case::command_option_keypad8);
    }
}

std::optional<KeySequence> doricoPosition(std::uint32_t value) {
    switch (value) {
        case 0:
            return textItem(u'^');
        case 1:
            return textItem(u'-');
        case 2:
            return textItem(u'v');
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<KeySequence> keySequenceForCommand(std::uint32_t commandWord, TargetFamily family) {
    if ((commandWord & classMask) != pedalDiagramClass) {
        return std::nullopt;
    }
    const bool sibelius = family == TargetFamily::sibelius;
    std::vector<KeySequence> items;
    items.reserve(sibelius ? 11 : 9);
    items.push_back(fixedItem(sibelius ? KeyType::Case::command_t : KeyType::Case::shift_p));

    std::uint32_t cursor = commandWord;
    for (int pedal = 1; pedal <= pedalCount; ++pedal) {
        const std::uint32_t value = cursor & 3U;
        cursor >>= 2;
        if (sibelius) {
            items.push_back(sibeliusPosition(value));
            if (pedal == sibeliusDividerAfter) {
                items.push_back(fixedItem(KeyType::Case::command_option_keypadplus));
            }
        } else {
            std::optional<KeySequence> item = doricoPosition(value);
            if (!item) {
                return std::nullopt;
            }
            items.push_back(std::move(*item));
        }
    }

    if (sibelius) {
        items.push_back(fixedItem(KeyType::Case::escape));
        items.push_back(fixedItem(KeyType::Case::escape));
    } else {
        items.push_back(fixedItem(KeyType::Case::returnKey));
    }
    return KeySequence::multiple(std::move(items));
}

}  // namespace corvane
