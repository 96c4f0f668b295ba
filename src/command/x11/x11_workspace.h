#pragma once

#include <xcb/xcb.h>

#include <optional>

#include "command/workspace.h"
#include "x11/x11_connection.h"

namespace corvane::x11 {

// The frontmost application on an X server: the window with the input focus, or
// _NET_ACTIVE_WINDOW when a running window manager vouches for it through
// _NET_SUPPORTING_WM_CHECK, walked up to the first window that carries an id:
// _GTK_APPLICATION_ID, else the class part of WM_CLASS. X errors (windows that vanish
// while they are read) count as "nothing there". The requests that do not depend on
// each other's answers go together: a window that carries its id itself costs two
// round trips, each level further up one more.
class X11Workspace final : public Workspace {
  public:
    explicit X11Workspace(X11Connection& connection);

    std::optional<RunningApplication> frontmostApplication() override;

  private:
    class WindowIdRequest;

    X11Connection& connection_;
    xcb_atom_t supportingWmCheck_ = XCB_ATOM_NONE;
    xcb_atom_t activeWindow_ = XCB_ATOM_NONE;
    xcb_atom_t gtkApplicationId_ = XCB_ATOM_NONE;
    xcb_atom_t utf8String_ = XCB_ATOM_NONE;
};

}  // namespace corvane::x11
