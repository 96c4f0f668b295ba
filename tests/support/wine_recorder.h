#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/windows_messages.h"
#include "support/xvfb_server.h"

namespace corvane::testing {

// openbox on a test's X server: without a window manager a Wine window never gets the focus.
class WindowManager {
  public:
    explicit WindowManager(const XvfbServer& server);
    // True once it manages the screen (_NET_SUPPORTING_WM_CHECK is set).
    bool running() const { return running_; }

  private:
    ChildProcess process_;
    bool running_ = false;
};

// The Win32 key recorder under Wine (prefix WINE_PREFIX_PATH, made once per test run),
// run as `fileName`, e.g. "sibelius.exe": Wine gives its window that WM_CLASS, lower-cased.
// The server needs a window manager. Ends the recorder and the prefix's wineserver.
class WineRecorder {
  public:
    WineRecorder(const XvfbServer& server, const std::string& fileName);
    ~WineRecorder();
    WineRecorder(const WineRecorder&) = delete;
    WineRecorder& operator=(const WineRecorder&) = delete;

    // True once its window is the active one and has taken a key.
    bool ready() const { return ready_; }
    // The messages since the last call. `connection` is the one the keys were posted on: a
    // marker key sent through XTest behind them is waited for, so none on its way is missed.
    std::vector<WindowsMessage> messagesReceived(xcb_connection_t* connection);
    // The next message the program printed, without a marker (for timing its arrival);
    // nothing when none comes within `timeout`.
    std::optional<WindowsMessage> nextMessage(std::chrono::milliseconds timeout);
    // Whether Caps Lock was on for the program at the last marker.
    bool capsLockAtMarker() const { return capsLockAtMarker_; }
    // The environment it runs in: its X server, its Wine prefix.
    const std::map<std::string, std::string>& environment() const { return environment_; }

  private:
    std::string directory_;
    std::map<std::string, std::string> environment_;
    std::unique_ptr<ChildProcess> process_;
    bool ready_ = false;
    bool capsLockAtMarker_ = false;
};

}  // namespace corvane::testing
