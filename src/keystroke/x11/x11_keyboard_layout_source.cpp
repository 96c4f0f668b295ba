#include "keystroke/x11/x11_keyboard_layout_source.h"

#include <xkbcommon/xkbcommon-x11.h>

#include <cstdlib>

#include "keystroke/x11/xcb_xkb.h"

namespace corvane::x11 {

namespace {

// Keymap changes: a new keyboard (other keycodes, e.g. after setxkbmap) or a changed
// map (symbols, actions, modifiers, e.g. after setxkbmap or xmodmap).
constexpr std::uint16_t keymapEvents =
    XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
constexpr std::uint16_t keymapParts =
    XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
    XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
    XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
constexpr std::uint16_t newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;

// The part every XKB event shares.
struct XkbAnyEvent {
    std::uint8_t response_type;
    std::uint8_t xkbType;
    std::uint16_t sequence;
    xcb_timestamp_t time;
    std::uint8_t deviceID;
};

}  // namespace

X11KeyboardLayoutSource::X11KeyboardLayoutSource(X11Connection& connection)
    : connection_(connection), context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
    if (!connection_.usable() || !context_) {
        return;
    }
    // A keymap that cannot be read is said by the command it stops, in one line, and a
    // lost connection by the connection: xkbcommon's own lines would only repeat them.
    xkb_context_set_log_level(context_.get(), XKB_LOG_LEVEL_CRITICAL);
    xcb_connection_t* c = connection_.get();
    if (xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                    &xkbEventBase_, nullptr) == 0) {
        return;  // no XKB: no layout, fixed keys still work
    }
    deviceId_ = xkb_x11_get_core_keyboard_device_id(c);
    if (deviceId_ < 0) {
        return;
    }
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = newKeyboardDetails;
    details.newKeyboardDetails = newKeyboardDetails;
    xcb_xkb_select_events_aux(c, static_cast<xcb_xkb_device_spec_t>(deviceId_), keymapEvents, 0, 0,
                              keymapParts, keymapParts, &details);
}

bool X11KeyboardLayoutSource::drainKeymapChanges() {
    bool changed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_.get())) {
        if ((event->response_type & 0x7F) == xkbEventBase_) {
            const auto* xkbEvent = reinterpret_cast<const XkbAnyEvent*>(event);
            if (xkbEvent->deviceID == deviceId_ &&
                (xkbEvent->xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY ||
                 xkbEvent->xkbType == XCB_XKB_MAP_NOTIFY)) {
                changed = true;
            }
        }
        std::free(event);
    }
    return changed;
}

std::optional<KeyboardSnapshot> X11KeyboardLayoutSource::look() {
    if (deviceId_ < 0 || !connection_.usable()) {
        return std::nullopt;
    }
    xcb_connection_t* c = connection_.get();
    // One round trip for both: every event the server sent before its answers is read
    // with them.
    const xcb_xkb_get_state_cookie_t stateCookie =
        xcb_xkb_get_state(c, static_cast<xcb_xkb_device_spec_t>(deviceId_));
    const xcb_query_keymap_cookie_t keysCookie = xcb_query_keymap(c);
    xcb_xkb_get_state_reply_t* state = xcb_xkb_get_state_reply(c, stateCookie, nullptr);
    xcb_query_keymap_reply_t* keys = xcb_query_keymap_reply(c, keysCookie, nullptr);
    if (state == nullptr || keys == nullptr) {
        std::free(state);
        std::free(keys);
        connection_.usable();
        return std::nullopt;
    }
    KeyboardSnapshot result{nullptr, nullptr, state->baseMods, state->lockedMods,
                            keySetFromVector(keys->keys)};
    const xkb_layout_index_t group = state->group;
    std::free(state);
    std::free(keys);

    if (drainKeymapChanges() || !keymap_) {
        layout_.reset();
        keymap_.reset(xkb_x11_keymap_new_from_device(context_.get(), c, deviceId_,
                                                     XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (!keymap_) {
            return std::nullopt;
        }
    }
    const xkb_layout_index_t layoutIndex =
        group < xkb_keymap_num_layouts(keymap_.get()) ? group : 0;
    if (!layout_ || layout_->layoutIndex() != layoutIndex) {
        layout_ = std::make_shared<xkb::XkbKeymapLayout>(keymap_.get(), layoutIndex);
        facts_ = std::make_shared<KeymapFacts>(keymap_.get(), layoutIndex);
    }
    result.layout = layout_;
    result.facts = facts_;
    return result;
}

std::optional<KeyboardSnapshot> X11KeyboardLayoutSource::snapshot() {
    return commandDepth_ > 0 ? commandLook_ : look();
}

void X11KeyboardLayoutSource::beginCommand() {
    if (commandDepth_++ == 0) {
        commandLook_ = look();
    }
}

void X11KeyboardLayoutSource::endCommand() {
    if (--commandDepth_ == 0) {
        commandLook_.reset();
    }
}

std::shared_ptr<KeyboardLayout> X11KeyboardLayoutSource::currentLayout() {
    std::optional<KeyboardSnapshot> current = snapshot();
    return current ? current->layout : nullptr;
}

}  // namespace corvane::x11
