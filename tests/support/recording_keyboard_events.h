#pragma once

#include <deque>
#include <ostream>
#include <vector>

#include "keystroke/keyboard_events.h"

namespace corvane::testing {

// Records the keys of every command posted, with its shortcut convention. A command is
// over at once, or, with `holdCommands`, once the test calls its completion in `pending`.
class RecordingKeyboardEvents final : public KeyboardEvents {
  public:
    struct Command {
        std::vector<KeyCodePair> keys;
        ShortcutConvention shortcuts;
    };
    std::vector<Command> commands;
    bool holdCommands = false;
    std::deque<Done> pending;

    // Every key posted, in order.
    std::vector<KeyCodePair> presses() const {
        std::vector<KeyCodePair> keys;
        for (const Command& command : commands) {
            keys.insert(keys.end(), command.keys.begin(), command.keys.end());
        }
        return keys;
    }
    // Ends the oldest command held.
    void finishOne() {
        const Done done = std::move(pending.front());
        pending.pop_front();
        done(Posted::all);
    }

    void postCommand(const KeyCodeSequence& keys, ShortcutConvention shortcuts,
                     Done done) override {
        commands.push_back({{}, shortcuts});
        appendItemsInOrder(keys, commands.back().keys);
        if (holdCommands) {
            pending.push_back(std::move(done));
        } else if (done) {
            done(Posted::all);
        }
    }
};

}  // namespace corvane::testing

namespace corvane {
inline void PrintTo(const KeyCodePair& pair, std::ostream* out) {
    *out << std::hex << "{0x" << pair.keyCode << ", 0x" << pair.flags << "}";
}
}  // namespace corvane
