#include "shell/hex_search.h"

#include <algorithm>
#include <functional>
#include <iterator>

namespace rtd::shell {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool HasHexPrefix(std::string_view text) {
  return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

uint8_t Folded(uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c; }

// The match of pattern in [first, last) nearest first, by the searcher over
// any iterators (forward, or reversed for a search backwards).
template <typename It, typename PatternIt>
It Search(It first, It last, PatternIt p_first, PatternIt p_last, bool any_case) {
  if (!any_case) return std::search(first, last, std::boyer_moore_horspool_searcher(p_first, p_last));
  const auto hash = [](uint8_t c) { return std::hash<uint8_t>()(Folded(c)); };
  const auto equal = [](uint8_t a, uint8_t b) { return Folded(a) == Folded(b); };
  return std::search(first, last,
                     std::boyer_moore_horspool_searcher(p_first, p_last, hash, equal));
}

}  // namespace

std::optional<uint32_t> ParseHexNumber(std::string_view text) {
  text = Trimmed(text);
  if (HasHexPrefix(text)) text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(digit);
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<uint8_t> bytes;
  int high = -1;  // the first digit of a pair, while the second is awaited
  while (!text.empty()) {
    if (high < 0 && HasHexPrefix(text)) {
      text.remove_prefix(2);
      continue;
    }
    const char c = text.front();
    text.remove_prefix(1);
    if (IsSpace(c)) {
      if (high >= 0) return std::nullopt;  // "5 5" is no byte
      continue;
    }
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0 || bytes.empty()) return std::nullopt;
  return bytes;
}

std::optional<uint32_t> FindForward(const uint8_t* data, uint32_t size, uint32_t from,
                                    const HexPattern& pattern) {
  const auto& p = pattern.bytes;
  if (p.empty() || from >= size || p.size() > size - from) return std::nullopt;
  const uint8_t* end = data + size;
  const uint8_t* at = Search(data + from, end, p.begin(), p.end(), pattern.any_case);
  if (at == end) return std::nullopt;
  return static_cast<uint32_t>(at - data);
}

std::optional<uint32_t> FindBackward(const uint8_t* data, uint32_t size, uint32_t from,
                                     const HexPattern& pattern) {
  const auto& p = pattern.bytes;
  if (p.empty() || p.size() > size) return std::nullopt;
  // A match starting at from ends at from + length: search the reversed
  // bytes before that end for the reversed pattern.
  const uint64_t end = std::min<uint64_t>(uint64_t{from} + p.size(), size);
  const auto last = std::make_reverse_iterator(data);
  const auto first = std::make_reverse_iterator(data + end);
  const auto at = Search(first, last, p.rbegin(), p.rend(), pattern.any_case);
  if (at == last) return std::nullopt;
  // at points at the match's last byte.
  return static_cast<uint32_t>((at.base() - data) - static_cast<std::ptrdiff_t>(p.size()));
}

std::optional<uint32_t> NextDifference(const uint8_t* a, const uint8_t* b, uint32_t size,
                                       uint32_t from) {
  // From past the common size (the cursor in the longer source): nothing
  // after it is compared.
  if (from >= size) return std::nullopt;
  uint32_t i = from;
  while (i < size && a[i] != b[i]) ++i;  // the rest of the run from is in
  const auto [at, other] = std::mismatch(a + i, a + size, b + i);
  if (at == a + size) return std::nullopt;
  return static_cast<uint32_t>(at - a);
}

std::optional<uint32_t> PreviousDifference(const uint8_t* a, const uint8_t* b, uint32_t size,
                                           uint32_t from) {
  const auto differs = [&](uint32_t i) { return a[i] != b[i]; };
  uint32_t i = std::min(from, size);
  if (i < size && differs(i))
    while (i > 0 && differs(i - 1)) --i;  // back to the start of from's run
  while (i > 0 && !differs(i - 1)) --i;   // back over the equal bytes
  if (i == 0) return std::nullopt;
  --i;                                    // the previous run's last byte
  while (i > 0 && differs(i - 1)) --i;
  return i;
}

}  // namespace rtd::shell
