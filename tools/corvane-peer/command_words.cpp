#include "command_words.h"

#include <charconv>

namespace corvane::peer {

std::optional<std::vector<std::uint32_t>> parseCommandWords(std::string_view text) {
    std::vector<std::uint32_t> words;
    constexpr std::string_view separators = " \t\r\n";
    std::size_t start = text.find_first_not_of(separators);
    while (start != std::string_view::npos) {
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        std::string_view token = text.substr(start, end - start);
        if (token.starts_with("0x") || token.starts_with("0X")) {
            token.remove_prefix(2);
        }
        std::uint32_t word = 0;
        const auto [last, error] =
            std::from_chars(token.data(), token.data() + token.size(), word, 16);
        if (token.empty() || error != std::errc{} || last != token.data() + token.size()) {
            return std::nullopt;
        }
        words.push_back(word);
        start = text.find_first_not_of(separators, end);
    }
    return words;
}

std::vector<std::uint8_t> wireBytes(const std::vector<std::uint32_t>& words) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(words.size() * 4);
    for (const std::uint32_t word : words) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<std::uint8_t>(word >> shift));
        }
    }
    return bytes;
}

}  // namespace corvane::peer
