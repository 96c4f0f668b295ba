#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane::x11 {

// A window property asked of the server at once and read later, so that requests made
// together share one round trip. Read it at most once; an unread answer is discarded.
class PropertyRequest {
  public:
    // A WINDOW property.
    PropertyRequest(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property);
    // An 8-bit property of `type` of at most `maxBytes`.
    PropertyRequest(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                    xcb_atom_t type, std::uint32_t maxBytes);
    ~PropertyRequest();
    PropertyRequest(const PropertyRequest&) = delete;
    PropertyRequest& operator=(const PropertyRequest&) = delete;

    // The bytes; nothing when the window is gone, the property is missing, of another
    // type or format, or longer than allowed.
    std::optional<std::string> text();
    // The window named; nothing when missing or malformed.
    std::optional<xcb_window_t> window();

  private:
    struct Reply;
    Reply take();

    xcb_connection_t* connection_;
    xcb_get_property_cookie_t cookie_;
    xcb_atom_t type_;
    std::uint32_t maxBytes_;
    bool read_ = false;
};

// The class part of a WM_CLASS value ("instance\0class\0", Latin-1) as UTF-8; nothing
// when there is no non-empty second string.
std::optional<std::string> classFromWmClass(std::string_view value);

// A UTF-8 application id without trailing NULs; nothing when empty.
std::optional<std::string> applicationIdFromUtf8(std::string_view value);

}  // namespace corvane::x11
