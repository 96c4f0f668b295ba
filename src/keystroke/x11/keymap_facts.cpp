#include "keystroke/x11/keymap_facts.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <initializer_list>

namespace corvane::x11 {

namespace {

// Keysyms that identify each modifier key, by ModifierKey, the preferred first.
const std::array<std::initializer_list<xkb_keysym_t>, modifierKeyCount> modifierKeysyms = {{
    {XKB_KEY_Control_L, XKB_KEY_Control_R},
    {XKB_KEY_Shift_L, XKB_KEY_Shift_R},
    {XKB_KEY_Alt_L, XKB_KEY_Alt_R},
    {XKB_KEY_ISO_Level3_Shift},
    {XKB_KEY_Super_L, XKB_KEY_Super_R},
}};

// Keysyms whose key press the X server keeps for itself (xkeyboard-config binds them to
// server actions): switching the virtual terminal or the video mode, grabs, logging and
// terminating the server.
bool serverTakes(xkb_keysym_t keysym) {
    return (keysym >= XKB_KEY_XF86Switch_VT_1 && keysym <= XKB_KEY_XF86Switch_VT_12) ||
           (keysym >= XKB_KEY_XF86Ungrab && keysym <= XKB_KEY_XF86LogGrabInfo) ||
           keysym == XKB_KEY_Terminate_Server;
}

constexpr std::uint8_t lockMask = 0x02;

}  // namespace

KeymapFacts::KeymapFacts(xkb_keymap* keymap, xkb_layout_index_t group)
    : keymap_(xkb_keymap_ref(keymap)), group_(group), scratch_(xkb_state_new(keymap)) {
    for (std::size_t modifier = 0; modifier < modifierKeyCount; ++modifier) {
        for (const xkb_keysym_t keysym : modifierKeysyms[modifier]) {
            modifierKeys_[modifier] = x11Keycode(xkb::findKeycodeForKeysym(keymap, group, keysym));
            if (modifierKeys_[modifier]) {
                break;
            }
        }
    }
    if (!scratch_) {
        return;
    }
    xkb_state* state = scratch_.get();
    const xkb_keycode_t last =
        std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap), x11KeycodeCount - 1);
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= last; ++key) {
        xkb_state_update_mask(state, 0, 0, 0, 0, 0, group);
        xkb_state_update_key(state, key, XKB_KEY_DOWN);
        setBy_[key] = static_cast<std::uint8_t>(
            xkb_state_serialize_mods(state, XKB_STATE_MODS_DEPRESSED) & 0xFF);
        xkb_state_update_key(state, key, XKB_KEY_UP);
        // The first eight modifiers of every xkb keymap are the core ones, in core order.
        if (xkb_state_key_get_one_sym(state, key) == XKB_KEY_Num_Lock && numLockMask_ == 0) {
            numLockMask_ = static_cast<std::uint8_t>(
                xkb_state_serialize_mods(state, XKB_STATE_MODS_LOCKED) & 0xFF);
        }
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, key, group, 0, &syms) == 1) {
            keypad_[key] = syms[0] >= XKB_KEY_KP_Space && syms[0] <= XKB_KEY_KP_Equal;
        }
    }
}

xkb_keysym_t KeymapFacts::keysym(xcb_keycode_t key, std::uint8_t depressed,
                                 std::uint8_t locked) const {
    xkb_state_update_mask(scratch_.get(), depressed, 0, locked, 0, 0, group_);
    return xkb_state_key_get_one_sym(scratch_.get(), key);
}

std::optional<std::uint8_t> KeymapFacts::lockThatDelivers(xcb_keycode_t key, std::uint8_t held,
                                                          std::uint8_t locked) const {
    if (!scratch_ || !serverTakes(keysym(key, held, locked))) {
        return 0;
    }
    for (std::uint8_t candidate = 0x01; candidate != 0; candidate <<= 1) {
        if ((candidate & (held | locked | lockMask | numLockMask_)) == 0 &&
            !serverTakes(keysym(key, held, locked | candidate))) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace corvane::x11
