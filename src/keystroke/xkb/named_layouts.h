#pragma once

#include <memory>
#include <string>

#include "keystroke/keyboard_layout.h"
#include "keystroke/xkb/xkb_keymap_layout.h"

namespace corvane::xkb {

// Keyboard layouts compiled from xkb names ("us", "de", "fr" with an optional
// variant), switched by hand: the layout for tests, benchmarks and machines whose
// display server cannot tell its layout.
class NamedLayouts final : public KeyboardLayoutSource {
  public:
    NamedLayouts();

    // Compiles and selects a layout; false (and no layout selected) when xkb does not
    // know the names.
    bool select(const std::string& layout, const std::string& variant = "");
    // Selects no layout at all.
    void clear() { current_.reset(); }

    std::shared_ptr<KeyboardLayout> currentLayout() override { return current_; }

  private:
    ContextPtr context_;
    std::shared_ptr<XkbKeymapLayout> current_;
};

}  // namespace corvane::xkb
