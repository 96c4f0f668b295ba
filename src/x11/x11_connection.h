#pragma once

#include <xcb/xcb.h>

#include <functional>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace corvane::x11 {

// The one connection to the X server that the keyboard layout, the event poster and
// the workspace share; owned and used by the main thread only. The layout source reads
// the events that arrive on it. A connection that cannot be opened or breaks is said
// once on `diagnostics`; after that every service answers "nothing". A connection that
// breaks is also told to the owner, which ends the program as X programs do when their
// display goes.
class X11Connection {
  public:
    // Opens the display named by $DISPLAY, or `displayName` when given.
    explicit X11Connection(const std::optional<std::string>& displayName = std::nullopt,
                           std::ostream& diagnostics = std::cerr);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // True while the connection works. The first time it does not, says so (and what it
    // meant, `consequence`) and, for a connection that worked before, calls the handler
    // set with onLost.
    bool usable(std::string_view consequence = "no more keystrokes are typed");
    void onLost(std::function<void()> handler) { onLost_ = std::move(handler); }

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
    std::function<void()> onLost_;
};

}  // namespace corvane::x11
