// corvane-peer's word parser on arbitrary text, against a parser written from its
// description. (How words go on the wire is the client tests' to check.)

#include <cctype>
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
    FUZZ_CHECK(corvane::peer::parseCommandWords(text) == expectedWords(text));
    return 0;
}
