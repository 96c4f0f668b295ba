// The character lookup with arbitrary UTF-16 text, lone surrogates included, on the us,
// de and fr layouts: a key it reports gives exactly the text, and a failure leaves the
// outputs alone.

#include <cstring>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_layouts.h"
#include "keystroke/character_lookup.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    xkb::NamedLayouts& layouts = fuzz::namedLayout(data[0]);
    std::u16string text((size - 1) / 2, u'\0');
    std::memcpy(text.data(), data + 1, text.size() * 2);

    std::uint16_t keyCode = 0xBEEF;
    std::uint32_t modifierState = 0xDEAD;
    if (!keyCodeForString(layouts, text, keyCode, modifierState)) {
        FUZZ_CHECK(keyCode == 0xBEEF && modifierState == 0xDEAD);
        return 0;
    }
    FUZZ_CHECK(!text.empty() && text.size() <= 4);
    FUZZ_CHECK((modifierState & ~(ModifierState::shift | ModifierState::option)) == 0);
    FUZZ_CHECK(fuzz::keyGives(layouts, keyCode, modifierState, text));
    return 0;
}
