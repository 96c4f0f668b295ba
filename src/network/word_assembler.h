#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace corvane {

// Cuts a byte stream into 4-byte little-endian command words. A word split across
// reads is completed by the next read; the bytes of an unfinished word are kept until then.
class WordAssembler {
  public:
    // Appends every word completed by `bytes` to `words`, in order.
    void append(std::span<const std::uint8_t> bytes, std::vector<std::uint32_t>& words);
    // Bytes of a word still waiting for the rest of it (0 to 3).
    std::size_t pendingBytes() const { return pendingCount_; }

  private:
    std::array<std::uint8_t, 4> pending_{};
    std::size_t pendingCount_ = 0;
};

}  // namespace corvane
