#pragma once

#include <xcb/xcb.h>

#include <optional>
#include <string>
#include <string_view>

namespace corvane::x11 {

// The bytes of a window's 8-bit property of the given type; nothing when the window is
// gone, the property is missing, of another type or format, or longer than `maxBytes`.
std::optional<std::string> readTextProperty(xcb_connection_t* connection, xcb_window_t window,
                                            xcb_atom_t property, xcb_atom_t type,
                                            std::uint32_t maxBytes);

// The window a WINDOW property names; nothing when missing or malformed.
std::optional<xcb_window_t> readWindowProperty(xcb_connection_t* connection, xcb_window_t window,
                                               xcb_atom_t property);

// The class part of a WM_CLASS value ("instance\0class\0", Latin-1) as UTF-8; nothing
// when there is no non-empty second string.
std::optional<std::string> classFromWmClass(std::string_view value);

// A UTF-8 application id without trailing NULs; nothing when empty.
std::optional<std::string> applicationIdFromUtf8(std::string_view value);

}  // namespace corvane::x11
