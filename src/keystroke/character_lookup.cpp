#include "keystroke/character_lookup.h"

#include <array>

namespace corvane {

namespace {

// Main keys in ANSI order, then the ISO and JIS keys and the keypad.
constexpr std::array<std::uint32_t, 71> candidateKeyCodes = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,  //
    0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
    0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23,  //
    0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,        //
    0x32,                                                                    // grave accent
    0x0A,                                                                    // ISO section
    0x5D, 0x5E,                                                              // JIS Yen, underscore
    0x41, 0x43, 0x45, 0x47, 0x4B, 0x4C, 0x4E, 0x51,                          //
    0x5F,                                                                    // JIS keypad comma
    0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5B, 0x5C,              //
    0x66, 0x68,                                                              // JIS Eisu, Kana
};

constexpr std::array<std::uint32_t, 4> candidateModifierStates = {
    0, ModifierState::shift, ModifierState::option, ModifierState::shift | ModifierState::option};

// The longest text one translation may produce.
constexpr std::size_t maxTranslationLength = 4;

// The first candidate key and state, of `states`, whose translation `matches`.
template <std::size_t stateCount, typename Matches>
bool findKey(KeyboardLayout& layout, const std::array<std::uint32_t, stateCount>& states,
             Matches matches, std::uint16_t& keyCode, std::uint32_t& modifierState) {
    std::array<char16_t, maxTranslationLength> produced{};
    for (const std::uint32_t candidateKey : candidateKeyCodes) {
        for (const std::uint32_t candidateState : states) {
            std::uint32_t deadKeyState = 0;
            std::size_t length = 0;
            const auto virtualKey = static_cast<std::uint16_t>(candidateKey & 0xFFFF);
            const auto keyState = static_cast<std::uint8_t>((candidateState >> 8) & 0xFF);
            if (!layout.translate(virtualKey, keyState, layout.keyboardType(), deadKeyState,
                                  produced, length) ||
                length == 0) {
                continue;
            }
            if (matches(std::u16string_view(produced.data(), length))) {
                keyCode = virtualKey;
                modifierState = candidateState;
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool keyCodeForString(KeyboardLayoutSource& layouts, std::u16string_view text,
                      std::uint16_t& keyCode, std::uint32_t& modifierState) {
    if (text.empty() || text.size() > maxTranslationLength) {
        return false;  // no translation can produce these
    }
    const std::shared_ptr<KeyboardLayout> layout = layouts.currentLayout();
    if (!layout) {
        return false;
    }
    return findKey(
        *layout, candidateModifierStates,
        [text](std::u16string_view produced) { return produced == text; }, keyCode, modifierState);
}

std::optional<std::uint16_t> keyCodeForLetter(KeyboardLayoutSource& layouts, char16_t lowercase) {
    const std::shared_ptr<KeyboardLayout> layout = layouts.currentLayout();
    if (!layout) {
        return std::nullopt;
    }
    const char16_t uppercase = lowercase - u'a' + u'A';
    std::uint16_t keyCode = 0;
    std::uint32_t modifierState = 0;
    if (!findKey(
            *layout, std::array<std::uint32_t, 2>{0, ModifierState::shift},
            [&](std::u16string_view produced) {
                return produced.size() == 1 &&
                       (produced[0] == lowercase || produced[0] == uppercase);
            },
            keyCode, modifierState)) {
        return std::nullopt;
    }
    return keyCode;
}

}  // namespace corvane
