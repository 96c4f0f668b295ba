#pragma once

#include <cstdint>
#include <functional>

#include "keystroke/key_model.h"
#include "keystroke/shortcut_convention.h"

namespace corvane {

// How much of a command reached the system.
enum class Posted : std::uint8_t {
    // Every key of the command, in order.
    all,
    // None: the command was refused before its first key (the service has said why, or
    // had said it before, as when it cannot post at all).
    none,
    // The service failed while posting: none of the keys, or only some, arrived. Said.
    broken,
};

// The system's keyboard, where a command's keystrokes are injected as hardware events are.
// One road: a whole command at a time. Used on the main thread only.
class KeyboardEvents {
  public:
    using Done = std::function<void(Posted)>;

    virtual ~KeyboardEvents() = default;

    // Posts every pair of `keys`, depth first, each as a key-down then a key-up carrying
    // exactly its flags: modifiers and locks the user has on do not reach the keys, and are
    // as they were afterwards. A shortcut's Command and Option are the keys `shortcuts`
    // names. A command that cannot be typed exactly is refused whole, before its first key.
    //
    // `done`, when given, is called once on the main thread when the command is over:
    // before this returns, or later from the main loop when the command needs time of its
    // own (it never holds the thread up to wait). A command is posted only once the one
    // before it is over.
    virtual void postCommand(const KeyCodeSequence& keys, ShortcutConvention shortcuts,
                             Done done) = 0;
};

}  // namespace corvane
