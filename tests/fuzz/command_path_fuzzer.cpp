// Any command word for both families, resolved on the us, de and fr layouts. Checks what
// must hold whatever the word: which words have a meaning, keys that match a decoding of
// the pedal fields, a resolution of the same shape as its sequence, fixed pairs where the
// sequence has fixed keys, text keys that give their text, and only the four flag bits.

#include <algorithm>
#include <array>
#include <cstring>

#include "command/command_table.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_layouts.h"
#include "keystroke/fixed_keys.h"
#include "keystroke/key_resolution.h"

using namespace corvane;

namespace {

constexpr CGEventFlags allFlags =
    EventFlags::shift | EventFlags::control | EventFlags::option | EventFlags::command;

// The Event Manager modifier state of the flags the lookup may report.
std::uint32_t modifierStateOf(CGEventFlags flags) {
    return ((flags & EventFlags::shift) != 0 ? 0x200 : 0) |
           ((flags & EventFlags::option) != 0 ? 0x800 : 0);
}

using Pedals = std::array<std::uint32_t, 7>;
using Key = std::pair<KeyType::Case, std::u16string>;

// The keys of a command as its pedal fields give them, first pedal first.
std::vector<Key> expectedKeys(const Pedals& pedals, bool dorico) {
    using enum KeyType::Case;
    std::vector<Key> keys{{dorico ? shift_p : command_t, u""}};
    for (std::size_t pedal = 0; pedal < pedals.size(); ++pedal) {
        const KeyType::Case sibeliusKey =
            std::array{command_option_keypad9, command_option_keypad7, command_option_keypad8,
                       command_option_keypad8}[pedals[pedal]];
        keys.push_back(dorico ? Key{string, std::u16string(1, u"^-v"[pedals[pedal]])}
                              : Key{sibeliusKey, u""});
        if (!dorico && pedal == 2) {
            keys.push_back({command_option_keypadplus, u""});
        }
    }
    keys.insert(keys.end(), dorico ? 1 : 2, {dorico ? returnKey : escape, u""});
    return keys;
}

void checkResolution(KeyboardLayoutSource& layouts, const std::vector<KeySequence>& items,
                     const KeyCodeSequence& resolved) {
    const std::vector<KeyCodeSequence>* pairs = resolved.asMultiple();
    FUZZ_CHECK(pairs != nullptr && pairs->size() == items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const KeyType& key = *items[i].asSingle();
        const KeyCodePair* pair = (*pairs)[i].asSingle();
        FUZZ_CHECK(pair != nullptr && (pair->flags & ~allFlags) == 0);
        if (key.kind() == KeyType::Case::string) {
            FUZZ_CHECK(
                fuzz::keyGives(layouts, pair->keyCode, modifierStateOf(pair->flags), key.text()));
        } else {
            FUZZ_CHECK(*pair == fixedKeyCodePair(key));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    std::uint32_t word = 0;
    std::memcpy(&word, data, 4);
    Pedals pedals{};
    for (std::size_t pedal = 0; pedal < pedals.size(); ++pedal) {
        pedals[pedal] = (word >> (2 * pedal)) & 3;
    }
    const bool pedalDiagram = (word >> 24) == 0x10;
    const bool doricoCanEnter = pedalDiagram && std::ranges::count(pedals, 3) == 0;
    // German gives "^" only as a dead key; every other command resolves on every layout.
    const bool germanCannotEnter = std::ranges::count(pedals, 0) > 0;

    for (const TargetFamily family : {TargetFamily::sibelius, TargetFamily::dorico}) {
        const bool dorico = family == TargetFamily::dorico;
        const std::optional<KeySequence> sequence = keySequenceForCommand(word, family);
        FUZZ_CHECK(sequence.has_value() == (dorico ? doricoCanEnter : pedalDiagram));
        if (!sequence) {
            continue;
        }
        FUZZ_CHECK(sequence->asMultiple() != nullptr);
        const std::vector<KeySequence>& items = *sequence->asMultiple();
        std::vector<Key> keys;
        for (const KeySequence& item : items) {
            FUZZ_CHECK(item.asSingle() != nullptr);
            keys.emplace_back(item.asSingle()->kind(), item.asSingle()->text());
        }
        FUZZ_CHECK(keys == expectedKeys(pedals, dorico));

        for (std::size_t layout = 0; layout < 3; ++layout) {
            xkb::NamedLayouts& layouts = fuzz::namedLayout(layout);
            const std::optional<KeyCodeSequence> resolved = resolveKeySequence(layouts, *sequence);
            FUZZ_CHECK(resolved.has_value() != (dorico && layout == 1 && germanCannotEnter));
            if (resolved) {
                checkResolution(layouts, items, *resolved);
            }
        }
    }
    return 0;
}
