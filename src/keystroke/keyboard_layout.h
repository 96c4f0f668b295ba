#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace corvane {

// The bits of a modifier key state: the high byte of an Event Manager modifier state.
namespace modifierKeyBit {
constexpr std::uint8_t command = 0x01;
constexpr std::uint8_t shift = 0x02;
constexpr std::uint8_t capsLock = 0x04;
constexpr std::uint8_t option = 0x08;
constexpr std::uint8_t control = 0x10;
}  // namespace modifierKeyBit

// One keyboard layout as it stands at a moment: what a single key-down produces.
class KeyboardLayout {
  public:
    virtual ~KeyboardLayout() = default;

    // Translates one key-down of a macOS virtual key code under a modifier key state
    // (modifierKeyBit), with dead-key processing on.
    // A dead key produces no text and only sets `deadKeyState`; callers start every
    // translation from a dead-key state of 0. Writes at most `output.size()` UTF-16 code units and
    // their count to `length`. Returns false when the key cannot be translated or its
    // text does not fit; `length` is then meaningless.
    virtual bool translate(std::uint16_t virtualKeyCode, std::uint8_t modifierKeyState,
                           std::uint8_t keyboardType, std::uint32_t& deadKeyState,
                           std::span<char16_t> output, std::size_t& length) = 0;

    // The type of the keyboard last used.
    virtual std::uint8_t keyboardType() const = 0;
};

// Where the layout the user has selected right now comes from.
class KeyboardLayoutSource {
  public:
    virtual ~KeyboardLayoutSource() = default;
    // The current layout, or null when none can be had.
    virtual std::shared_ptr<KeyboardLayout> currentLayout() = 0;

    // From beginCommand to endCommand the source answers with the keyboard as it was at
    // beginCommand, so every key of one command is placed, and typed, on the same layout
    // and group. The pairs nest: an inner one shares the outer one's look.
    virtual void beginCommand() {}
    virtual void endCommand() {}
};

// Holds the source's layout for the life of one command.
class KeyboardLayoutCommandScope {
  public:
    explicit KeyboardLayoutCommandScope(KeyboardLayoutSource& layouts) : layouts_(layouts) {
        layouts_.beginCommand();
    }
    ~KeyboardLayoutCommandScope() { layouts_.endCommand(); }
    KeyboardLayoutCommandScope(const KeyboardLayoutCommandScope&) = delete;
    KeyboardLayoutCommandScope& operator=(const KeyboardLayoutCommandScope&) = delete;

  private:
    KeyboardLayoutSource& layouts_;
};

}  // namespace corvane
