#include "keystroke/fixed_keys.h"

#include <array>

namespace corvane {

namespace {
// Parallel tables indexed by KeyType::fixedIndex(): shift_p, returnKey, command_t,
// keypad 7, 8, 9 and + with Command+Option, escape.
constexpr std::array<std::uint16_t, 8> fixedKeyCodes = {0x23, 0x24, 0x11, 0x59,
                                                        0x5B, 0x5C, 0x45, 0x35};
constexpr CGEventFlags commandOption = EventFlags::command | EventFlags::option;
constexpr std::array<CGEventFlags, 8> fixedFlags = {
    EventFlags::shift, 0, EventFlags::command, commandOption, commandOption, commandOption,
    commandOption,     0};
}  // namespace

KeyCodePair fixedKeyCodePair(const KeyType& key) {
    const std::size_t index = key.fixedIndex();
    return {fixedKeyCodes.at(index), fixedFlags.at(index)};
}

std::optional<char16_t> fixedKeyLetter(const KeyType& key) {
    switch (key.kind()) {
        case KeyType::Case::shift_p:
            return u'p';
        case KeyType::Case::command_t:
            return u't';
        default:
            return std::nullopt;
    }
}

}  // namespace corvane
