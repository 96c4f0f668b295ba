#include "keystroke/xkb/xkb_keymap_layout.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include "keystroke/xkb/virtual_keys.h"

namespace corvane::xkb {

namespace {

constexpr std::uint8_t knownKeyBits = 0x1F;

bool isDeadKey(xkb_keysym_t keysym) {
    return keysym >= XKB_KEY_dead_grave && keysym <= XKB_KEY_dead_longsolidusoverlay;
}

// Appends one code point as UTF-16; false when it does not fit.
bool appendUtf16(char32_t codePoint, std::span<char16_t> output, std::size_t& length) {
    if (codePoint < 0x10000) {
        if (length + 1 > output.size()) {
            return false;
        }
        output[length++] = static_cast<char16_t>(codePoint);
        return true;
    }
    if (length + 2 > output.size()) {
        return false;
    }
    const char32_t offset = codePoint - 0x10000;
    output[length++] = static_cast<char16_t>(0xD800 + (offset >> 10));
    output[length++] = static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
    return true;
}

xkb_mod_mask_t modBit(xkb_keymap* keymap, const char* name) {
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    return index == XKB_MOD_INVALID ? 0 : xkb_mod_mask_t{1} << index;
}

}  // namespace

xkb_keycode_t findKeycodeForKeysym(xkb_keymap* keymap, xkb_layout_index_t layoutIndex,
                                   xkb_keysym_t keysym) {
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap); keycode <= last; ++keycode) {
        // A key with fewer groups than the keymap wraps the group, as xkb does by default.
        const xkb_layout_index_t keyLayouts = xkb_keymap_num_layouts_for_key(keymap, keycode);
        if (keyLayouts == 0) {
            continue;
        }
        const xkb_keysym_t* syms = nullptr;
        const int count =
            xkb_keymap_key_get_syms_by_level(keymap, keycode, layoutIndex % keyLayouts, 0, &syms);
        for (int i = 0; i < count; ++i) {
            if (syms[i] == keysym) {
                return keycode;
            }
        }
    }
    return XKB_KEYCODE_INVALID;
}

XkbKeymapLayout::XkbKeymapLayout(xkb_keymap* keymap, xkb_layout_index_t layoutIndex)
    : keymap_(xkb_keymap_ref(keymap)),
      layoutIndex_(layoutIndex),
      hasLevelThree_(findKeycodeForKeysym(keymap, layoutIndex, XKB_KEY_ISO_Level3_Shift) !=
                     XKB_KEYCODE_INVALID) {}

xkb_state* XkbKeymapLayout::stateFor(std::uint8_t modifierKeyState) {
    StatePtr& state = states_[modifierKeyState & knownKeyBits];
    if (!state) {
        xkb_keymap* keymap = keymap_.get();
        xkb_mod_mask_t mods = 0;
        if ((modifierKeyState & modifierKeyBit::shift) != 0) {
            mods |= modBit(keymap, XKB_MOD_NAME_SHIFT);
        }
        if ((modifierKeyState & modifierKeyBit::capsLock) != 0) {
            mods |= modBit(keymap, XKB_MOD_NAME_CAPS);
        }
        if ((modifierKeyState & modifierKeyBit::option) != 0) {
            mods |= modBit(keymap, "LevelThree");
        }
        if ((modifierKeyState & modifierKeyBit::control) != 0) {
            mods |= modBit(keymap, XKB_MOD_NAME_CTRL);
        }
        if ((modifierKeyState & modifierKeyBit::command) != 0) {
            mods |= modBit(keymap, "Super");
        }
        state.reset(xkb_state_new(keymap));
        if (state) {
            xkb_state_update_mask(state.get(), mods, 0, 0, 0, 0, layoutIndex_);
        }
    }
    return state.get();
}

bool XkbKeymapLayout::translate(std::uint16_t virtualKeyCode, std::uint8_t modifierKeyState,
                                std::uint8_t /*keyboardType*/, std::uint32_t& deadKeyState,
                                std::span<char16_t> output, std::size_t& length) {
    length = 0;
    const std::optional<std::uint32_t> keycode = xkbKeycodeForVirtualKey(virtualKeyCode);
    if (!keycode) {
        return false;
    }
    if ((modifierKeyState & modifierKeyBit::option) != 0 && !hasLevelThree_) {
        return false;  // no key on this keymap can give Option's level
    }
    xkb_state* state = stateFor(modifierKeyState);
    if (state == nullptr) {
        return false;
    }
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_state_key_get_syms(state, *keycode, &syms);
    if (count == 1 && isDeadKey(syms[0])) {
        deadKeyState = syms[0];
        return true;
    }
    deadKeyState = 0;
    for (int i = 0; i < count; ++i) {
        const char32_t codePoint = xkb_keysym_to_utf32(syms[i]);
        if (codePoint != 0 && !appendUtf16(codePoint, output, length)) {
            return false;
        }
    }
    return true;
}

}  // namespace corvane::xkb
