// Any command word for both families, resolved on the us, de and fr layouts. Checks what
// must hold whatever the word: which words have a meaning, what a Dorico command may
// contain, a resolution of the same shape as its sequence, fixed pairs where the
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

bool isText(const KeySequence& item) {
    return item.asSingle()->kind() == KeyType::Case::string;
}

// Whether a Dorico command's sequence holds Shift+P, the character of each pedal and Return.
bool isDoricoCommand(const std::vector<KeySequence>& items, const Pedals& pedals) {
    bool holds = items.size() == 9 && items.front().asSingle()->kind() == KeyType::Case::shift_p &&
                 items.back().asSingle()->kind() == KeyType::Case::returnKey;
    for (std::size_t pedal = 0; holds && pedal < pedals.size(); ++pedal) {
        holds = isText(items[pedal + 1]) &&
                items[pedal + 1].asSingle()->text() == std::u16string(1, u"^-v"[pedals[pedal]]);
    }
    return holds;
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
        FUZZ_CHECK(std::ranges::all_of(
            items, [](const KeySequence& item) { return item.asSingle() != nullptr; }));
        FUZZ_CHECK(dorico ? isDoricoCommand(items, pedals)
                          : items.size() == 11 && std::ranges::none_of(items, isText));

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
