// The virtual programmer's configuration file: key=value lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "config/utf8_path.h"
#include "core/open_flags.h"
#include "core/output_services.h"
#include "core/system_error_text.h"
#include "i18n/lang.h"
#include "sim/virtual_programmer.h"

namespace rtd::sim {
namespace {

constexpr LangText kErrUnknownKey =
    LANG_TEXT("строка %d: неизвестный ключ \"%s\"", "line %d: unknown key \"%s\"");
constexpr LangText kErrBadValue =
    LANG_TEXT("строка %d: неверное значение %s: \"%s\"", "line %d: bad value for %s: \"%s\"");
constexpr LangText kErrNoEquals =
    LANG_TEXT("строка %d: ожидается ключ=значение: \"%s\"", "line %d: expected key=value: \"%s\"");
constexpr LangText kErrCannotRead =
    LANG_TEXT("не удалось прочитать файл %s: %s", "cannot read file %s: %s");
constexpr LangText kErrNotRegular = LANG_TEXT("это не обычный файл", "not a regular file");
constexpr LangText kErrTooLarge =
    LANG_TEXT("файл больше %u байт", "the file is larger than %u bytes");

// A configuration is a few dozen lines; anything near this is not one.
constexpr uint32_t kMaxConfigBytes = 1024 * 1024;

constexpr uint32_t kMaxChipSize = 0x1000000;  // 24 address bits
constexpr std::size_t kMaxTouchBytes = 127;   // one answer without the 256 form
constexpr std::size_t kMaxNameBytes = 40;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decimal, or hexadecimal after "0x"; no sign, nothing after the digits.
bool ParseNumber(std::string_view s, uint64_t max, uint64_t& out) {
  uint64_t base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  uint64_t value = 0;
  for (char c : s) {
    const int d = HexDigit(c);
    if (d < 0 || static_cast<uint64_t>(d) >= base) return false;
    value = value * base + static_cast<uint64_t>(d);
    if (value > max) return false;
  }
  out = value;
  return true;
}

template <typename T>
bool ParseInto(std::string_view s, uint64_t max, T& out) {
  uint64_t v = 0;
  if (!ParseNumber(s, max, v)) return false;
  out = static_cast<T>(v);
  return true;
}

bool ParseBool(std::string_view s, bool& out) {
  if (s == "0" || s == "1") {
    out = s == "1";
    return true;
  }
  return false;
}

// Exactly two hex digits per byte, with an optional 0x: "EF4013", "0xEF4013".
bool ParseHexBytes(std::string_view s, uint8_t* out, std::size_t count) {
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
  if (s.size() != count * 2) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const int hi = HexDigit(s[2 * i]);
    const int lo = HexDigit(s[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  return true;
}

// Splits "word key=value key=\"two words\"" into words; a word may hold a
// double-quoted part with blanks in it.
bool SplitWords(std::string_view s, std::vector<std::string>& words) {
  std::size_t i = 0;
  while (true) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i >= s.size()) return true;
    std::string word;
    bool quoted = false;
    for (; i < s.size() && (quoted || !IsBlank(s[i])); ++i) {
      if (s[i] == '"') {
        quoted = !quoted;
      } else {
        word.push_back(s[i]);
      }
    }
    if (quoted) return false;
    words.push_back(std::move(word));
  }
}

bool SplitPair(const std::string& word, std::string_view& key, std::string_view& value) {
  const std::size_t eq = word.find('=');
  if (eq == std::string::npos) return false;
  key = std::string_view(word).substr(0, eq);
  value = std::string_view(word).substr(eq + 1);
  return true;
}

bool ParseCommandOrAny(std::string_view s, int& out) {
  if (s == "any") {
    out = -1;
    return true;
  }
  uint64_t v = 0;
  if (!ParseNumber(s, 0xFF, v)) return false;
  out = static_cast<int>(v & 0x7F);  // 0x83 on the wire is command 3
  return true;
}

bool ParseAddressOrAny(std::string_view s, int64_t& out) {
  if (s == "any") {
    out = -1;
    return true;
  }
  uint64_t v = 0;
  if (!ParseNumber(s, 0xFFFFFF, v)) return false;
  out = static_cast<int64_t>(v);
  return true;
}

// "timeout cmd=0x42 addr=0x001200 after=0 count=1", "other-chip jedec=C84013
// after=5"; bad names the bad word.
bool ParseFault(std::string_view value, Fault& fault, std::string& bad) {
  std::vector<std::string> words;
  if (!SplitWords(value, words) || words.empty()) {
    bad = std::string(value);
    return false;
  }
  static constexpr std::pair<const char*, FaultKind> kKinds[] = {
      {"timeout", FaultKind::kTimeout},     {"checksum", FaultKind::kBadChecksum},
      {"address", FaultKind::kWrongAddress}, {"status253", FaultKind::kStatus253},
      {"status254", FaultKind::kStatus254}, {"short", FaultKind::kShortBlock},
      {"transfer", FaultKind::kTransferFailure}, {"flip", FaultKind::kFlippedBit},
      {"no-contact", FaultKind::kNoContact}, {"other-chip", FaultKind::kOtherChip}};
  bool known = false;
  for (const auto& [name, kind] : kKinds) {
    if (words[0] == name) {
      fault.kind = kind;
      known = true;
    }
  }
  if (!known) {
    bad = words[0];
    return false;
  }
  for (std::size_t i = 1; i < words.size(); ++i) {
    std::string_view key;
    std::string_view v;
    bool ok = SplitPair(words[i], key, v);
    if (ok) {
      if (key == "cmd") {
        ok = ParseCommandOrAny(v, fault.command);
      } else if (key == "addr") {
        ok = ParseAddressOrAny(v, fault.address);
      } else if (key == "after") {
        ok = ParseInto(v, UINT32_MAX, fault.after);
      } else if (key == "count") {
        ok = ParseInto(v, UINT32_MAX, fault.count);
      } else if (key == "jedec") {
        // Only the chip on another board has an id of its own.
        ok = fault.kind == FaultKind::kOtherChip &&
             ParseHexBytes(v, fault.jedec.data(), fault.jedec.size());
      } else {
        ok = false;
      }
    }
    if (!ok) {
      bad = words[i];
      return false;
    }
  }
  return true;
}

// "vid=0xFFFF pid=0x00FF manufacturer=qel product=ZEZ2662-IDAD openable=1
// strings=1 position=before"; every field optional.
bool ParseDecoy(std::string_view value, Decoy& decoy, std::string& bad) {
  std::vector<std::string> words;
  if (!SplitWords(value, words)) {
    bad = std::string(value);
    return false;
  }
  for (const auto& word : words) {
    std::string_view key;
    std::string_view v;
    bool ok = SplitPair(word, key, v);
    if (ok) {
      if (key == "vid") {
        ok = ParseInto(v, 0xFFFF, decoy.vendor_id);
      } else if (key == "pid") {
        ok = ParseInto(v, 0xFFFF, decoy.product_id);
      } else if (key == "manufacturer") {
        decoy.manufacturer = std::string(v);
      } else if (key == "product") {
        decoy.product = std::string(v);
      } else if (key == "openable") {
        ok = ParseBool(v, decoy.openable);
      } else if (key == "strings") {
        ok = ParseBool(v, decoy.strings_readable);
      } else if (key == "position") {
        ok = v == "before" || v == "after";
        decoy.before_programmer = v == "before";
      } else {
        ok = false;
      }
    }
    if (!ok) {
      bad = word;
      return false;
    }
  }
  return true;
}

bool ParseTouch(std::string_view value, std::vector<uint8_t>& touch) {
  std::vector<std::string> words;
  if (!SplitWords(value, words) || words.size() > kMaxTouchBytes) return false;
  std::vector<uint8_t> bytes;
  for (const auto& w : words) {
    std::string_view digits = w;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
      digits.remove_prefix(2);
    if (digits.empty() || digits.size() > 2) return false;
    int v = 0;
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      v = v * 16 + d;
    }
    bytes.push_back(static_cast<uint8_t>(v));
  }
  touch = std::move(bytes);
  return true;
}

// A comment starts at a '#' at the start of the line or after a blank,
// outside double quotes, so that a '#' inside a name or a path survives.
std::string_view StripComment(std::string_view line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == '#' && !quoted && (i == 0 || IsBlank(line[i - 1]))) return line.substr(0, i);
  }
  return line;
}

// One key=value. Returns false with bad holding what to quote, or with
// unknown set when the key itself is not known.
bool ApplyKey(std::string_view key, std::string_view value, SimConfig& c, bool& unknown,
              std::string& bad) {
  bool ok = true;
  bad = std::string(value);
  if (key == "jedec") {
    ok = ParseHexBytes(value, c.jedec.data(), c.jedec.size());
  } else if (key == "size") {
    ok = ParseInto(value, kMaxChipSize, c.size) && c.size != 0;
  } else if (key == "status") {
    ok = ParseInto(value, 0xFF, c.status);
  } else if (key == "image") {
    c.image = std::string(value);
  } else if (key == "link-up-ms") {
    ok = ParseInto(value, UINT32_MAX, c.link_up_ms);
  } else if (key == "erase-ms") {
    ok = ParseInto(value, UINT32_MAX, c.erase_ms);
  } else if (key == "transfer-us") {
    ok = ParseInto(value, UINT32_MAX, c.transfer_us);
  } else if (key == "touch") {
    ok = ParseTouch(value, c.touch);
  } else if (key == "attached") {
    ok = ParseBool(value, c.attached);
  } else if (key == "name") {
    ok = value.size() <= kMaxNameBytes;
    if (ok) c.name = std::string(value);
  } else if (key == "serial") {
    ok = ParseInto(value, UINT32_MAX, c.serial);
  } else if (key == "app-version") {
    ok = ParseInto(value, UINT32_MAX, c.app_version);
  } else if (key == "boot-version") {
    ok = ParseInto(value, UINT32_MAX, c.boot_version);
  } else if (key == "programmers") {
    ok = ParseInto(value, kMaxProgrammers, c.programmers) && c.programmers != 0;
  } else if (key == "unplug-after") {
    ok = ParseInto(value, UINT32_MAX, c.unplug_after);
  } else if (key == "library") {
    ok = ParseBool(value, c.library_loadable);
  } else if (key == "entry-points") {
    ok = ParseBool(value, c.entry_points);
  } else if (key == "lock") {
    ok = ParseBool(value, c.lockable);
  } else if (key == "fault") {
    Fault f;
    ok = ParseFault(value, f, bad);
    if (ok) c.faults.push_back(f);
  } else if (key == "decoy") {
    Decoy d;
    ok = ParseDecoy(value, d, bad);
    if (ok) c.decoys.push_back(d);
  } else {
    unknown = true;
    ok = false;
  }
  return ok;
}

}  // namespace

bool ParseSimConfig(std::string_view text, SimConfig& config, std::string& error) {
  SimConfig c = config;
  // Editors on Windows start a UTF-8 file with a byte-order mark; the ini
  // files take it, and so does this one.
  constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  int line_number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++line_number;

    const std::string_view line = Trim(StripComment(raw));
    if (line.empty()) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      error = FormatText(PickLangText(kErrNoEquals), line_number, std::string(line));
      return false;
    }
    const std::string key(Trim(line.substr(0, eq)));
    const std::string_view value = Trim(line.substr(eq + 1));
    bool unknown = false;
    std::string bad;
    if (!ApplyKey(key, value, c, unknown, bad)) {
      error = unknown ? FormatText(PickLangText(kErrUnknownKey), line_number, key)
                      : FormatText(PickLangText(kErrBadValue), line_number, key, bad);
      return false;
    }
  }
  config = std::move(c);
  return true;
}

namespace {

// The whole file, or false with the reason. Opened without blocking and
// checked to be a regular file of sane size before anything is read, so a
// FIFO, a directory or /dev/zero is refused rather than waited for or read
// without end.
bool ReadConfigFile(const std::string& path, std::string& text, std::string& reason) {
  const int fd = OpenUtf8(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_BINARY);
  if (fd < 0) {
    reason = SystemErrorText(errno);
    return false;
  }
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0;
  if (!ok) {
    reason = SystemErrorText(errno);
  } else if (!S_ISREG(info.st_mode)) {
    reason = S_ISDIR(info.st_mode) ? SystemErrorText(EISDIR) : PickLangText(kErrNotRegular);
    ok = false;
  }
  // Read to the end, but never past the bound, whatever the size claimed.
  char buffer[4096];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = SystemErrorText(errno);
      ok = false;
    } else if (n == 0) {
      break;
    } else if (text.size() + static_cast<std::size_t>(n) > kMaxConfigBytes) {
      reason = FormatText(PickLangText(kErrTooLarge), kMaxConfigBytes);
      ok = false;
    } else {
      text.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return ok;
}

}  // namespace

bool LoadSimConfig(const std::string& path, SimConfig& config, std::string& error) {
  std::string text;
  std::string reason;
  if (!ReadConfigFile(path, text, reason)) {
    error = FormatText(PickLangText(kErrCannotRead), path, reason);
    return false;
  }
  const std::string image_before = config.image;
  if (!ParseSimConfig(text, config, error)) {
    error = path + ": " + error;
    return false;
  }
  // An image named in the file is found beside the file, wherever the
  // program was started from.
  if (config.image != image_before && !config.image.empty()) {
    const std::filesystem::path image = PathFromUtf8(config.image);
    if (image.is_relative())
      config.image = Utf8FromPath(PathFromUtf8(path).parent_path() / image);
  }
  return true;
}

}  // namespace rtd::sim
