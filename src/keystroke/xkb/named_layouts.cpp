#include "keystroke/xkb/named_layouts.h"

namespace corvane::xkb {

NamedLayouts::NamedLayouts() : context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

bool NamedLayouts::select(const std::string& layout, const std::string& variant) {
    current_.reset();
    if (!context_) {
        return false;
    }
    const xkb_rule_names names{"evdev", "pc105", layout.c_str(), variant.c_str(), ""};
    const KeymapPtr keymap(
        xkb_keymap_new_from_names(context_.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        return false;
    }
    current_ = std::make_shared<XkbKeymapLayout>(keymap.get(), 0);
    return true;
}

}  // namespace corvane::xkb
