#include "network/word_assembler.h"

namespace corvane {
namespace {

std::uint32_t littleEndianWord(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

void WordAssembler::append(std::span<const std::uint8_t> bytes, std::vector<std::uint32_t>& words) {
    std::size_t next = 0;
    while (pendingCount_ > 0 && pendingCount_ < pending_.size() && next < bytes.size()) {
        pending_[pendingCount_++] = bytes[next++];
    }
    if (pendingCount_ == pending_.size()) {
        words.push_back(littleEndianWord(pending_.data()));
        pendingCount_ = 0;
    }
    for (; next + 4 <= bytes.size(); next += 4) {
        words.push_back(littleEndianWord(bytes.data() + next));
    }
    while (next < bytes.size()) {
        pending_[pendingCount_++] = bytes[next++];
    }
}

}  // namespace corvane
