#pragma once

#include <string>
#include <vector>

#include "command/key_model.h"

namespace corvane::testing {

// The items of a key sequence, depth first: a fixed key by its case name, a text item
// as its (ASCII) text.
inline std::vector<std::string> describe(const KeySequence& sequence) {
    static const char* const names[] = {"string",
                                        "shift_p",
                                        "returnKey",
                                        "command_t",
                                        "command_option_keypad7",
                                        "command_option_keypad8",
                                        "command_option_keypad9",
                                        "command_option_keypadplus",
                                        "escape"};
    std::vector<std::string> items;
    if (const KeyType* key = sequence.asSingle()) {
        if (key->kind() == KeyType::Case::string) {
            items.emplace_back(key->text().begin(), key->text().end());
        } else {
            items.emplace_back(names[static_cast<int>(key->kind())]);
        }
        return items;
    }
    for (const KeySequence& element : *sequence.asMultiple()) {
        for (std::string& item : describe(element)) {
            items.push_back(std::move(item));
        }
    }
    return items;
}

}  // namespace corvane::testing
