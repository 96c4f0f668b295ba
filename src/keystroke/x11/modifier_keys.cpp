#include "keystroke/x11/modifier_keys.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <array>
#include <initializer_list>
#include <utility>

#include "keystroke/xkb/xkb_keymap_layout.h"

namespace corvane::x11 {

namespace {

struct ModifierKey {
    CGEventFlags flag;
    // Keysyms that identify the key, the preferred first.
    std::initializer_list<xkb_keysym_t> keysyms;
};

const std::array<ModifierKey, 4> modifierKeys = {{
    {EventFlags::control, {XKB_KEY_Control_L, XKB_KEY_Control_R}},
    {EventFlags::shift, {XKB_KEY_Shift_L, XKB_KEY_Shift_R}},
    {EventFlags::option, {XKB_KEY_ISO_Level3_Shift}},
    {EventFlags::command, {XKB_KEY_Super_L, XKB_KEY_Super_R}},
}};

}  // namespace

std::optional<std::vector<xkb_keycode_t>> modifierKeysForFlags(xkb_keymap* keymap,
                                                               xkb_layout_index_t layoutIndex,
                                                               CGEventFlags flags) {
    std::vector<xkb_keycode_t> keys;
    for (const ModifierKey& modifier : modifierKeys) {
        if ((flags & modifier.flag) == 0) {
            continue;
        }
        xkb_keycode_t found = XKB_KEYCODE_INVALID;
        for (const xkb_keysym_t keysym : modifier.keysyms) {
            found = xkb::findKeycodeForKeysym(keymap, layoutIndex, keysym);
            if (found != XKB_KEYCODE_INVALID) {
                break;
            }
        }
        if (found == XKB_KEYCODE_INVALID) {
            return std::nullopt;
        }
        keys.push_back(found);
    }
    return keys;
}

bool isModifierKey(xkb_keymap* keymap, xkb_keycode_t keycode) {
    const xkb::StatePtr state(xkb_state_new(keymap));
    if (!state) {
        return false;
    }
    return (xkb_state_update_key(state.get(), keycode, XKB_KEY_DOWN) & XKB_STATE_MODS_DEPRESSED) !=
           0;
}

std::uint8_t numLockMask(xkb_keymap* keymap, xkb_layout_index_t layoutIndex) {
    const xkb_keycode_t numLock = xkb::findKeycodeForKeysym(keymap, layoutIndex, XKB_KEY_Num_Lock);
    const xkb::StatePtr state(xkb_state_new(keymap));
    if (numLock == XKB_KEYCODE_INVALID || !state) {
        return 0;
    }
    xkb_state_update_key(state.get(), numLock, XKB_KEY_DOWN);
    xkb_state_update_key(state.get(), numLock, XKB_KEY_UP);
    // The first eight modifiers of every xkb keymap are the core ones, in core order.
    return static_cast<std::uint8_t>(xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LOCKED) &
                                     0xFF);
}

bool isKeypadKey(xkb_keymap* keymap, xkb_layout_index_t layoutIndex, xkb_keycode_t keycode) {
    const xkb::StatePtr state(xkb_state_new(keymap));
    if (!state) {
        return false;
    }
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layoutIndex);
    const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state.get(), keycode);
    return keysym >= XKB_KEY_KP_Space && keysym <= XKB_KEY_KP_Equal;
}

}  // namespace corvane::x11
