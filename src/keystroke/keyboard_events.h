#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "keystroke/key_model.h"
#include "keystroke/shortcut_convention.h"

namespace corvane {

// A key-down or key-up event for a macOS virtual key code.
struct KeyboardEvent {
    std::uint16_t keyCode = 0;
    bool keyDown = false;
    CGEventFlags flags = 0;
};

// A source of keyboard events, made anew for every key press.
class KeyboardEventSource {
  public:
    virtual ~KeyboardEventSource() = default;
    // A new event with no flags, or nothing when it cannot be made.
    virtual std::optional<KeyboardEvent> createKeyboardEvent(std::uint16_t keyCode,
                                                             bool keyDown) = 0;
    // Injects the event into the system's input stream, where hardware events enter.
    virtual void post(const KeyboardEvent& event) = 0;
};

// The system's keyboard event service.
class KeyboardEvents {
  public:
    virtual ~KeyboardEvents() = default;
    // A new event source, or null when none can be made.
    virtual std::unique_ptr<KeyboardEventSource> createSource() = 0;

    // Posts every pair of one command, depth first, back to back, each as a key-down and
    // a key-up with its flags; a shortcut's Command and Option as `shortcuts` has them.
    // The whole command or none of it: false when nothing was posted (the service has
    // said why). Without a service of its own, each key goes through its own source.
    virtual bool postCommand(const KeyCodeSequence& keys, ShortcutConvention shortcuts);
};

}  // namespace corvane
