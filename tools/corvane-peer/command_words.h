#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace corvane::peer {

// Parses command words written in hex ("0x10001249" or "10001249"), separated by
// spaces, tabs or line ends. Nothing when any of them is not a 32-bit hex number.
std::optional<std::vector<std::uint32_t>> parseCommandWords(std::string_view text);

// The 4 bytes of each word, least significant first.
std::vector<std::uint8_t> wireBytes(const std::vector<std::uint32_t>& words);

}  // namespace corvane::peer
