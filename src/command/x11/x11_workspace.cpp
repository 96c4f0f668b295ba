#include "command/x11/x11_workspace.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "command/x11/window_properties.h"

namespace corvane::x11 {

namespace {

// Longer values are not application ids.
constexpr std::uint32_t maxIdBytes = 1024;
// A bound on the walk to the top level, against a server that answers nonsense.
constexpr int maxWindowDepth = 64;

std::array<xcb_atom_t, 4> internAtoms(xcb_connection_t* connection,
                                      const std::array<const char*, 4>& names) {
    std::array<xcb_intern_atom_cookie_t, 4> cookies{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        cookies[i] = xcb_intern_atom(connection, 0,
                                     static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
    }
    std::array<xcb_atom_t, 4> atoms{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookies[i], nullptr);
        atoms[i] = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
    }
    return atoms;
}

// The parent of a window, or nothing when the window is gone.
std::optional<xcb_window_t> parentOf(xcb_connection_t* connection, xcb_window_t window) {
    xcb_generic_error_t* error = nullptr;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), &error);
    std::free(error);
    if (tree == nullptr) {
        return std::nullopt;
    }
    const xcb_window_t parent = tree->parent;
    std::free(tree);
    return parent;
}

}  // namespace

X11Workspace::X11Workspace(X11Connection& connection) : connection_(connection) {
    if (!connection_.usable()) {
        return;
    }
    const std::array<xcb_atom_t, 4> atoms = internAtoms(
        connection_.get(),
        {"_NET_SUPPORTING_WM_CHECK", "_NET_ACTIVE_WINDOW", "_GTK_APPLICATION_ID", "UTF8_STRING"});
    supportingWmCheck_ = atoms[0];
    activeWindow_ = atoms[1];
    gtkApplicationId_ = atoms[2];
    utf8String_ = atoms[3];
}

bool X11Workspace::windowManagerIsRunning() {
    xcb_connection_t* c = connection_.get();
    const std::optional<xcb_window_t> check =
        readWindowProperty(c, connection_.root(), supportingWmCheck_);
    // A window manager that died leaves the root's property naming a window that is
    // gone or no longer points at itself.
    return check && *check != XCB_NONE &&
           readWindowProperty(c, *check, supportingWmCheck_) == check;
}

std::optional<xcb_window_t> X11Workspace::activeWindow() {
    xcb_connection_t* c = connection_.get();
    if (windowManagerIsRunning()) {
        const std::optional<xcb_window_t> active =
            readWindowProperty(c, connection_.root(), activeWindow_);
        if (active && *active != XCB_NONE) {
            return active;
        }
    }
    xcb_get_input_focus_reply_t* focus =
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    if (focus == nullptr) {
        return std::nullopt;
    }
    const xcb_window_t window = focus->focus;
    std::free(focus);
    if (window == XCB_NONE || window == XCB_INPUT_FOCUS_POINTER_ROOT ||
        window == connection_.root()) {
        return std::nullopt;
    }
    return window;
}

std::optional<std::string> X11Workspace::applicationId(xcb_window_t window) {
    xcb_connection_t* c = connection_.get();
    if (const std::optional<std::string> gtkId =
            readTextProperty(c, window, gtkApplicationId_, utf8String_, maxIdBytes)) {
        if (std::optional<std::string> id = applicationIdFromUtf8(*gtkId)) {
            return id;
        }
    }
    if (const std::optional<std::string> wmClass =
            readTextProperty(c, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, maxIdBytes)) {
        return classFromWmClass(*wmClass);
    }
    return std::nullopt;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() {
    if (!connection_.usable()) {
        return std::nullopt;
    }
    std::optional<xcb_window_t> window = activeWindow();
    for (int depth = 0; window && depth < maxWindowDepth; ++depth) {
        if (std::optional<std::string> id = applicationId(*window)) {
            return RunningApplication{std::move(id)};
        }
        const std::optional<xcb_window_t> parent = parentOf(connection_.get(), *window);
        if (!parent) {
            return std::nullopt;  // the window went away while it was read
        }
        if (*parent == connection_.root() || *parent == XCB_NONE) {
            return RunningApplication{std::nullopt};  // a top level without an id
        }
        window = parent;
    }
    return std::nullopt;
}

}  // namespace corvane::x11
