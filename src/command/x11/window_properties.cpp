#include "command/x11/window_properties.h"

#include <cstdlib>
#include <memory>

namespace corvane::x11 {

namespace {

void appendLatin1AsUtf8(std::string& out, unsigned char byte) {
    if (byte < 0x80) {
        out.push_back(static_cast<char>(byte));
        return;
    }
    out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
    out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
}

}  // namespace

struct PropertyRequest::Reply {
    struct Free {
        void operator()(void* reply) const { std::free(reply); }
    };
    std::unique_ptr<xcb_get_property_reply_t, Free> value;
};

PropertyRequest::PropertyRequest(xcb_connection_t* connection, xcb_window_t window,
                                 xcb_atom_t property)
    : PropertyRequest(connection, window, property, XCB_ATOM_WINDOW, sizeof(xcb_window_t)) {}

PropertyRequest::PropertyRequest(xcb_connection_t* connection, xcb_window_t window,
                                 xcb_atom_t property, xcb_atom_t type, std::uint32_t maxBytes)
    : connection_(connection),
      // The length is asked in 32-bit units; one more byte than allowed shows an overlong
      // value.
      cookie_(xcb_get_property(connection, 0, window, property, type, 0, maxBytes / 4 + 1)),
      type_(type),
      maxBytes_(maxBytes) {}

PropertyRequest::~PropertyRequest() {
    if (!read_) {
        xcb_discard_reply(connection_, cookie_.sequence);
    }
}

PropertyRequest::Reply PropertyRequest::take() {
    if (read_) {
        return {};
    }
    read_ = true;
    xcb_generic_error_t* error = nullptr;
    Reply reply{decltype(Reply::value)(xcb_get_property_reply(connection_, cookie_, &error))};
    std::free(error);  // a window that vanished meanwhile just has no property
    if (!reply.value || reply.value->type != type_) {
        return {};
    }
    return reply;
}

std::optional<std::string> PropertyRequest::text() {
    const Reply reply = take();
    if (!reply.value || reply.value->format != 8) {
        return std::nullopt;
    }
    const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply.value.get()));
    if (length > maxBytes_ || reply.value->bytes_after != 0) {
        return std::nullopt;
    }
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.value.get())), length);
}

std::optional<xcb_window_t> PropertyRequest::window() {
    const Reply reply = take();
    if (!reply.value || reply.value->format != 32 || reply.value->value_len != 1) {
        return std::nullopt;
    }
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.value.get()));
}

std::optional<std::string> classFromWmClass(std::string_view value) {
    const std::size_t instanceEnd = value.find('\0');
    if (instanceEnd == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view className = value.substr(instanceEnd + 1);
    className = className.substr(0, className.find('\0'));
    if (className.empty()) {
        return std::nullopt;
    }
    std::string utf8;
    for (const char byte : className) {
        appendLatin1AsUtf8(utf8, static_cast<unsigned char>(byte));
    }
    return utf8;
}

std::optional<std::string> applicationIdFromUtf8(std::string_view value) {
    value = value.substr(0, value.find('\0'));
    if (value.empty()) {
        return std::nullopt;
    }
    return std::string(value);
}

}  // namespace corvane::x11
