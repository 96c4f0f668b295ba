#include "x11/x11_connection.h"

#include <cstdlib>

namespace corvane::x11 {

namespace {

std::string describeDisplay(const std::optional<std::string>& displayName) {
    if (displayName) {
        return *displayName;
    }
    const char* fromEnvironment = std::getenv("DISPLAY");
    return fromEnvironment != nullptr ? fromEnvironment : "(DISPLAY not set)";
}

}  // namespace

X11Connection::X11Connection(const std::optional<std::string>& displayName,
                             std::ostream& diagnostics)
    : displayName_(describeDisplay(displayName)), diagnostics_(diagnostics) {
    int screenNumber = 0;
    connection_ = xcb_connect(displayName ? displayName->c_str() : nullptr, &screenNumber);
    if (xcb_connection_has_error(connection_) != 0) {
        diagnostics_ << "Cannot open the X display " << displayName_
                     << ": no keystrokes can be typed." << std::endl;
        reported_ = true;
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem > 0) {
        root_ = screens.data->root;
    }
}

X11Connection::~X11Connection() {
    xcb_disconnect(connection_);
}

bool X11Connection::usable(std::string_view consequence) {
    if (xcb_connection_has_error(connection_) == 0) {
        return true;
    }
    if (!reported_) {
        diagnostics_ << "Lost the connection to the X display " << displayName_ << ": "
                     << consequence << "." << std::endl;
        reported_ = true;
        if (onLost_) {
            onLost_();
        }
    }
    return false;
}

}  // namespace corvane::x11
