// Costs of the command path: the command table, the character lookup on real xkb
// layouts (a character found early, and one that is tried on all 284 key/state pairs),
// and a whole Dorico command resolved.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "command/command_table.h"
#include "keystroke/character_lookup.h"
#include "keystroke/key_resolution.h"
#include "keystroke/xkb/named_layouts.h"

namespace corvane {
namespace {

void keySequenceForCommandPerWord(benchmark::State& state) {
    const auto family = static_cast<TargetFamily>(state.range(0));
    std::uint32_t word = 0x10000000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(keySequenceForCommand(word, family));
        word = 0x10000000 | ((word + 0x1111) & 0x0AAA);  // positions 0 to 2 only
    }
}
BENCHMARK(keySequenceForCommandPerWord)->ArgName("dorico")->Arg(0)->Arg(1);

void lookUp(benchmark::State& state, const char* layout, std::u16string_view text) {
    xkb::NamedLayouts layouts;
    if (!layouts.select(layout)) {
        state.SkipWithError("layout not available");
        return;
    }
    for (auto _ : state) {
        std::uint16_t keyCode = 0;
        std::uint32_t modifiers = 0;
        benchmark::DoNotOptimize(keyCodeForString(layouts, text, keyCode, modifiers));
    }
}
BENCHMARK_CAPTURE(lookUp, us_found_caret, "us", u"^");
BENCHMARK_CAPTURE(lookUp, us_not_found, "us", u"\u00E9");
BENCHMARK_CAPTURE(lookUp, de_found_minus, "de", u"-");
BENCHMARK_CAPTURE(lookUp, de_not_found_caret, "de", u"^");

void resolveDoricoCommand(benchmark::State& state) {
    xkb::NamedLayouts layouts;
    if (!layouts.select("us")) {
        state.SkipWithError("layout not available");
        return;
    }
    const KeySequence keys = *keySequenceForCommand(0x10001249, TargetFamily::dorico);
    for (auto _ : state) {
        benchmark::DoNotOptimize(resolveKeySequence(layouts, keys));
    }
}
BENCHMARK(resolveDoricoCommand);

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
