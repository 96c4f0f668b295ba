#pragma once

// The two stages of a command's keystrokes: the symbolic KeySequence built by the
// command table, and the KeyCodeSequence that key resolution makes of it for the
// keyboard layout current at that moment. All of them are plain values.

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace corvane {

// Modifier flags of a keyboard event. Only these four bits are ever set.
using CGEventFlags = std::uint64_t;
namespace EventFlags {
inline constexpr CGEventFlags shift = 0x20000;
inline constexpr CGEventFlags control = 0x40000;
inline constexpr CGEventFlags option = 0x80000;
inline constexpr CGEventFlags command = 0x100000;
}  // namespace EventFlags

// A key item: a text that one key press must produce, or one of eight fixed
// combinations. The fixed cases are declared in the order of their table index.
class KeyType {
  public:
    enum class Case : std::uint8_t {
        string,
        shift_p,
        returnKey,
        command_t,
        command_option_keypad7,
        command_option_keypad8,
        command_option_keypad9,
        command_option_keypadplus,
        escape,
    };

    static KeyType string(std::u16string text) { return KeyType(Case::string, std::move(text)); }
    static KeyType fixed(Case fixedCase) { return KeyType(fixedCase, {}); }

    Case kind() const { return kind_; }
    // The text of a `string` item; empty for the fixed cases.
    const std::u16string& text() const { return text_; }
    // Index 0 to 7 of a fixed case in the fixed-pair tables.
    std::size_t fixedIndex() const { return static_cast<std::size_t>(kind_) - 1; }

  private:
    KeyType(Case kind, std::u16string text) : kind_(kind), text_(std::move(text)) {}
    Case kind_;
    std::u16string text_;
};

// A macOS virtual key code and the flags set on both its key-down and key-up event.
// `character` marks a key that types a character found on the layout: its flags are the
// layout's own modifiers, not a shortcut's.
struct KeyCodePair {
    std::uint16_t keyCode = 0;
    CGEventFlags flags = 0;
    bool character = false;
    bool operator==(const KeyCodePair&) const = default;
};

// An ordered tree of items: `single` holds one item, `multiple` holds any number of
// sequences, each of which may be `multiple` again.
template <typename Item>
class Sequence {
  public:
    static Sequence single(Item item) { return Sequence(std::move(item)); }
    static Sequence multiple(std::vector<Sequence> elements) {
        return Sequence(std::move(elements));
    }

    const Item* asSingle() const { return std::get_if<Item>(&value_); }
    const std::vector<Sequence>* asMultiple() const {
        return std::get_if<std::vector<Sequence>>(&value_);
    }

  private:
    explicit Sequence(Item item) : value_(std::move(item)) {}
    explicit Sequence(std::vector<Sequence> elements) : value_(std::move(elements)) {}
    std::variant<Item, std::vector<Sequence>> value_;
};

using KeySequence = Sequence<KeyType>;
using KeyCodeSequence = Sequence<KeyCodePair>;

// The items of a sequence in the order they are typed: depth first.
template <typename Item>
void appendItemsInOrder(const Sequence<Item>& sequence, std::vector<Item>& items) {
    if (const Item* item = sequence.asSingle()) {
        items.push_back(*item);
        return;
    }
    for (const Sequence<Item>& element : *sequence.asMultiple()) {
        appendItemsInOrder(element, items);
    }
}

}  // namespace corvane
