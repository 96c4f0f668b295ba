#pragma once

#include <xcb/xcb.h>

#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/xvfb_server.h"

namespace corvane::testing {

// One line of the recording window's output.
struct RecordedKey {
    bool press = false;
    unsigned keycode = 0;
    unsigned state = 0;
    std::string keysym;
    std::string text;
};

std::optional<RecordedKey> parseRecordedKey(const std::string& line);

// tools/recording-window on a test's X server: a focused window with the given WM_CLASS
// class that reports every key it receives.
class RecordingWindow {
  public:
    RecordingWindow(const XvfbServer& server, const std::string& className);

    // True once the window is mapped and has the focus.
    bool ready() const { return ready_; }

    // Every key the window has received since the last call. `connection` is the one the
    // keys were posted on: a marker key is sent through XTest behind them, and the keys
    // are read up to the marker, so none that is still on its way is missed.
    std::vector<RecordedKey> keysReceived(xcb_connection_t* connection);

  private:
    ChildProcess process_;
    bool ready_ = false;
};

// True when no key at all is down on the server.
bool noKeyIsDown(xcb_connection_t* connection);

}  // namespace corvane::testing
