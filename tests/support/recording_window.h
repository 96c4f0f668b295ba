#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/xvfb_server.h"

namespace corvane::testing {

// One key event as the recording window printed it.
struct RecordedKey {
    bool press = false;
    unsigned keycode = 0;
    unsigned state = 0;
    std::string keysym;
    std::string text;
};

// F12 (evdev 88 + 8), which no command uses: posted through XTest behind a command's keys,
// its arrival says that every key before it has arrived.
constexpr xcb_keycode_t markerKeycode = 96;
void postMarkerKey(xcb_connection_t* connection);

// The atom of `name` on the server of `connection`; XCB_ATOM_NONE when it does not answer.
xcb_atom_t atom(xcb_connection_t* connection, const std::string& name);

// tools/recording-window on a test's X server: a focused window with the given WM_CLASS
// class that reports every key it receives; with `keepFocus`, it takes the focus back from
// any window that takes it.
class RecordingWindow {
  public:
    RecordingWindow(const XvfbServer& server, const std::string& className, bool keepFocus = false);
    // True once the window is mapped and has the focus.
    bool ready() const { return ready_; }
    // The keys received since the last call. `connection` is the one the keys were posted on:
    // a marker key sent through XTest behind them is waited for, so none on its way is missed.
    std::vector<RecordedKey> keysReceived(xcb_connection_t* connection);

  private:
    // The next key the window printed; nothing when none comes within `timeout`.
    std::optional<RecordedKey> nextKey(std::chrono::milliseconds timeout);

    ChildProcess process_;
    bool ready_ = false;
};

// A typed key: a press and its release, as the window saw the press.
struct TypedKey {
    unsigned keycode = 0;
    unsigned state = 0;
    std::string text;
    bool operator==(const TypedKey&) const = default;
};

// The non-modifier keys among the received ones, checking that each press is followed by
// its release before the next key.
std::vector<TypedKey> typedKeys(const std::vector<RecordedKey>& keys);

void PrintTo(const TypedKey& key, std::ostream* out);

}  // namespace corvane::testing
