#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "keystroke/key_model.h"

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

    // The keys of one command are about to be posted. True when every one of them can be
    // typed exactly as its flags say; then endCommand follows the last of them. False
    // when not: then none of them is posted, and the service has said why.
    virtual bool beginCommand(const KeyCodeSequence& /*keys*/) { return true; }
    virtual void endCommand() {}
};

}  // namespace corvane
