// What the hex view finds: an address typed in hex, a byte string typed in
// hex or as text, and the runs of bytes where two sources differ. Linear in
// the size at most, so the largest chip is searched at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace rtd::shell {

// A number typed in hex, as an address or a length: "1F000", "0x1F000",
// spaces around it allowed. None when it is not one or does not fit 32 bits.
std::optional<uint32_t> ParseHexNumber(std::string_view text);

// A byte string typed in hex: pairs of digits, with or without spaces or
// "0x" between them ("55 AA", "55aa", "0x55 0xAA"). None when it holds
// anything else, an odd digit or nothing.
std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text);

// What to find: bytes as they are, or a text whose Latin letters match in
// either case (a firmware's strings come in either).
struct HexPattern {
  std::vector<uint8_t> bytes;
  bool any_case = false;
};

// The first match that starts at from or after it; the last match that
// starts at from or before it.
std::optional<uint32_t> FindForward(const uint8_t* data, uint32_t size, uint32_t from,
                                    const HexPattern& pattern);
std::optional<uint32_t> FindBackward(const uint8_t* data, uint32_t size, uint32_t from,
                                     const HexPattern& pattern);

// Two sources over their common size: the first byte of the next run of
// differing bytes after the one that holds from (or after from, when its
// bytes are equal); the first byte of the run before that one. from may lie
// past the common size (the cursor in the longer of two sources).
std::optional<uint32_t> NextDifference(const uint8_t* a, const uint8_t* b, uint32_t size,
                                       uint32_t from);
std::optional<uint32_t> PreviousDifference(const uint8_t* a, const uint8_t* b, uint32_t size,
                                           uint32_t from);

}  // namespace rtd::shell
