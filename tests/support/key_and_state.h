#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "keystroke/character_lookup.h"

namespace corvane::testing {

// "key/state" in hex of the macOS key and modifier state that type `text` on `layouts`,
// or "none".
inline std::string keyAndState(KeyboardLayoutSource& layouts, std::u16string_view text) {
    std::uint16_t keyCode = 0;
    std::uint32_t state = 0;
    if (!keyCodeForString(layouts, text, keyCode, state)) {
        return "none";
    }
    char found[16];
    std::snprintf(found, sizeof found, "%x/%x", keyCode, state);
    return found;
}

}  // namespace corvane::testing
