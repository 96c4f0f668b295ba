// Arbitrary bytes, cut into arbitrary reads (empty ones too), against a decoding of the
// whole stream at once: every complete word in order, the partial trailing word kept back.

#include <endian.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

#include "fuzz/fuzz_check.h"
#include "network/word_assembler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::vector<std::uint8_t> stream =
        input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegral<std::uint16_t>());

    corvane::WordAssembler assembler;
    std::vector<std::uint32_t> words;
    for (std::size_t next = 0; next < stream.size();) {
        const std::size_t rest = stream.size() - next;
        const std::size_t read = input.remaining_bytes() == 0
                                     ? rest
                                     : input.ConsumeIntegralInRange<std::size_t>(0, rest);
        assembler.append(std::span(stream).subspan(next, read), words);
        next += read;
    }

    std::vector<std::uint32_t> expected;
    for (std::size_t at = 0; at + 4 <= stream.size(); at += 4) {
        std::uint32_t word = 0;
        std::memcpy(&word, &stream[at], 4);
        expected.push_back(le32toh(word));
    }
    FUZZ_CHECK(words == expected);
    FUZZ_CHECK(assembler.pendingBytes() == stream.size() % 4);
    return 0;
}
