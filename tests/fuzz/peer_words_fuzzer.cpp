// corvane-peer's word parser on arbitrary text, against a parser written from its
// description; the words it accepts survive the trip to wire bytes and back.

#include <endian.h>

#include <cctype>
#include <cstring>
#include <string_view>

#include "command_words.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr std::string_view separators = " \t\r\n";
constexpr std::string_view hexDigits = "0123456789abcdef";

std::optional<std::vector<std::uint32_t>> expectedWords(std::string_view text) {
    std::vector<std::uint32_t> words;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = start;
        while (end < text.size() && separators.find(text[end]) == std::string_view::npos) {
            ++end;
        }
        std::string_view token = text.substr(start, end - start);
        start = end + 1;
        if (token.empty()) {
            continue;
        }
        if (token.size() >= 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
            token.remove_prefix(2);
        }
        std::uint64_t value = 0;
        for (const char digit : token) {
            const std::size_t digitValue =
                hexDigits.find(static_cast<char>(std::tolower(static_cast<unsigned char>(digit))));
            if (digitValue == std::string_view::npos) {
                return std::nullopt;
            }
            value = value * 16 + digitValue;
            if (value > 0xFFFFFFFF) {
                return std::nullopt;
            }
        }
        if (token.empty()) {
            return std::nullopt;
        }
        words.push_back(static_cast<std::uint32_t>(value));
    }
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::vector<std::uint32_t>> words = corvane::peer::parseCommandWords(text);
    FUZZ_CHECK(words == expectedWords(text));
    if (words) {
        const std::vector<std::uint8_t> bytes = corvane::peer::wireBytes(*words);
        FUZZ_CHECK(bytes.size() == words->size() * 4);
        for (std::size_t i = 0; i < words->size(); ++i) {
            std::uint32_t word = 0;
            std::memcpy(&word, &bytes[i * 4], 4);
            FUZZ_CHECK(le32toh(word) == (*words)[i]);
        }
    }
    return 0;
}
