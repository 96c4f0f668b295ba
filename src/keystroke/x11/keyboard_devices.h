#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>

#include "keystroke/x11/x11_keycodes.h"

namespace corvane::x11 {

// Announces this client's XInput 2 support, which the device queries below need; false
// when the server has no XInput 2.
bool announceXInput(xcb_connection_t* connection);

// The keys held down on the keyboards attached to the core keyboard `coreKeyboard`, other
// than XTest's own: keys a person holds on a real keyboard, which XTest cannot let go of.
// Nothing when the server does not answer.
std::optional<X11KeySet> keysHeldOnKeyboards(xcb_connection_t* connection,
                                             std::int32_t coreKeyboard);

}  // namespace corvane::x11
