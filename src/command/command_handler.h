#pragma once

#include <cstdint>
#include <functional>
#include <ostream>

#include "command/workspace.h"
#include "keystroke/keyboard_events.h"
#include "keystroke/keyboard_layout.h"

namespace corvane {

// Turns each command word into keystrokes for the frontmost notation program. Keeps
// no state between commands; runs on the main thread.
class CommandHandler {
  public:
    // `output` receives one "AppBundleId: " line per command that finds a frontmost
    // application with an id.
    CommandHandler(Workspace& workspace, KeyboardLayoutSource& layouts, KeyboardEvents& events,
                   std::ostream& output)
        : workspace_(workspace), layouts_(layouts), events_(events), output_(output) {}

    // Handles one word with the application frontmost now. `done` is called once the
    // command is over: its keys posted, or nothing to post. That may be before this
    // returns, or later from the main loop; the next word waits for it.
    void handleCommand(std::uint32_t commandWord, std::function<void()> done);

  private:
    Workspace& workspace_;
    KeyboardLayoutSource& layouts_;
    KeyboardEvents& events_;
    std::ostream& output_;
};

}  // namespace corvane
