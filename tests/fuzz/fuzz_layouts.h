#pragma once

#include <array>
#include <string_view>

#include "keystroke/xkb/named_layouts.h"

namespace corvane::fuzz {

// The "us", "de" and "fr" layouts, each compiled once; `index` is taken modulo 3.
inline xkb::NamedLayouts& namedLayout(std::size_t index) {
    static std::array<xkb::NamedLayouts, 3> layouts = [] {
        std::array<xkb::NamedLayouts, 3> made;
        made[0].select("us");
        made[1].select("de");
        made[2].select("fr");
        return made;
    }();
    return layouts[index % layouts.size()];
}

// Whether one key-down of the key in the Event Manager modifier state gives exactly `text`.
inline bool keyGives(KeyboardLayoutSource& layouts, std::uint16_t keyCode,
                     std::uint32_t modifierState, std::u16string_view text) {
    const std::shared_ptr<KeyboardLayout> layout = layouts.currentLayout();
    std::array<char16_t, 8> produced{};
    std::size_t length = 0;
    std::uint32_t deadKeyState = 0;
    return layout &&
           layout->translate(keyCode, static_cast<std::uint8_t>(modifierState >> 8),
                             layout->keyboardType(), deadKeyState, produced, length) &&
           std::u16string_view(produced.data(), length) == text;
}

}  // namespace corvane::fuzz
