#pragma once

#include <xcb/xcb.h>

#include <iostream>
#include <optional>
#include <ostream>
#include <string>

namespace corvane::x11 {

// The one connection to the X server that the keyboard layout, the event poster and
// the workspace share; owned and used by the main thread only. The layout source reads
// the events that arrive on it. A connection that cannot be opened or breaks is said
// once on `diagnostics`; after that every service answers "nothing".
class X11Connection {
  public:
    // Opens the display named by $DISPLAY, or `displayName` when given.
    explicit X11Connection(const std::optional<std::string>& displayName = std::nullopt,
                           std::ostream& diagnostics = std::cerr);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // True while the connection works; the first time it does not, says so.
    bool usable();

    // The connection itself; only to be used after usable() said true.
    xcb_connection_t* get() const { return connection_; }
    // The root window of the default screen, or 0 without a screen.
    xcb_window_t root() const { return root_; }
    // Where the services say what they cannot do.
    std::ostream& diagnostics() { return diagnostics_; }

  private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    std::string displayName_;
    std::ostream& diagnostics_;
    bool reported_ = false;
};

}  // namespace corvane::x11
