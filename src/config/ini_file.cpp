#include "config/ini_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/atomic_file.h"
#include "config/text_encoding.h"
#include "config/windows_files.h"
#include "i18n/lang.h"

namespace rtd {

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool SameIniName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

enum class LineKind { kBlank, kOther, kComment, kSection, kKey };

// One line of the file, as offsets into its bytes.
struct Line {
  std::size_t begin = 0;       // first byte
  std::size_t next = 0;        // first byte of the next line ('\n' consumed)
  bool terminated = false;     // ends with '\n'
  LineKind kind = LineKind::kBlank;
  std::size_t name_begin = 0;  // section name or key, trimmed
  std::size_t name_end = 0;
  std::size_t value_begin = 0;  // key value, trimmed (empty range for "key=")
  std::size_t value_end = 0;
};

// The whole file as read, split into lines.
struct ParsedFile {
  std::string bytes;
  bool cp1251 = false;
  std::size_t body = 0;  // after a byte-order mark
  std::vector<Line> lines;

  std::string Text(std::size_t b, std::size_t e) const {
    const std::string_view raw(bytes.data() + b, e - b);
    return cp1251 ? Cp1251ToUtf8(raw) : std::string(raw);
  }
  std::string Name(const Line& l) const { return Text(l.name_begin, l.name_end); }
  std::string Value(const Line& l) const { return Text(l.value_begin, l.value_end); }

  // The line ending the file uses: CRLF when its first line has one.
  std::string_view Eol() const {
    const std::size_t nl = bytes.find('\n', body);
    return (nl != std::string::npos && nl > body && bytes[nl - 1] == '\r') ? "\r\n" : "\n";
  }
};

Line ParseLine(const std::string& bytes, std::size_t begin) {
  Line l;
  l.begin = begin;
  std::size_t end = bytes.find('\n', begin);
  if (end == std::string::npos) {
    end = bytes.size();
    l.next = end;
  } else {
    l.next = end + 1;
    l.terminated = true;
  }
  std::size_t b = begin, e = end;
  while (b < e && IsBlank(bytes[b])) ++b;
  while (e > b && IsBlank(bytes[e - 1])) --e;
  if (b == e) return l;
  if (bytes[b] == ';') {
    l.kind = LineKind::kComment;
    return l;
  }
  // Every search stays inside the line: running on to the end of the file
  // would make reading a long file take time in the square of its lines.
  const std::string_view text(bytes.data() + b, e - b);
  if (bytes[b] == '[') {
    const std::size_t found = text.find(']', 1);
    const std::size_t close = found == std::string_view::npos ? e : b + found;
    if (close < e) {
      l.kind = LineKind::kSection;
      std::size_t nb = b + 1, ne = close;
      while (nb < ne && IsBlank(bytes[nb])) ++nb;
      while (ne > nb && IsBlank(bytes[ne - 1])) --ne;
      l.name_begin = nb, l.name_end = ne;
      return l;
    }
  }
  const std::size_t found = text.find('=');
  const std::size_t eq = found == std::string_view::npos ? e : b + found;
  if (eq >= e) {
    // Not a key: remarks such as "# Winbond" live here.
    l.kind = bytes[b] == '#' ? LineKind::kComment : LineKind::kOther;
    return l;
  }
  l.kind = LineKind::kKey;
  std::size_t ne = eq;
  while (ne > b && IsBlank(bytes[ne - 1])) --ne;
  l.name_begin = b, l.name_end = ne;
  std::size_t vb = eq + 1;
  while (vb < e && IsBlank(bytes[vb])) ++vb;
  l.value_begin = vb, l.value_end = e;
  return l;
}

// Reads the whole file. A missing or unreadable file reads as empty;
// ok is false only when it exists but could not be read completely.
struct FileContent {
  std::string bytes;
  bool exists = false;
  bool ok = true;
  std::string error;  // the system's reason when not ok
};

#ifdef _WIN32
FileContent ReadWholeFile(const std::string& path) {
  FileContent c;
  if (path.empty()) return c;
  win::WholeFile w = win::ReadWholeFile(path);
  c.exists = w.exists;
  c.ok = w.ok;
  c.error = std::move(w.error);
  c.bytes = std::move(w.bytes);
  return c;
}
#else
FileContent ReadWholeFile(const std::string& path) {
  FileContent c;
  if (path.empty()) return c;
  // Without blocking: a FIFO or a device must not hang the program before
  // the type check below turns it away.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // Absent is normal; anything else (no permission) still exists.
    if (errno != ENOENT && errno != ENOTDIR) {
      c.exists = true;
      c.ok = false;
      c.error = SystemErrorText(errno);
    }
    return c;
  }
  c.exists = true;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    c.ok = false;
    c.error = S_ISDIR(st.st_mode) ? SystemErrorText(EISDIR) : NotARegularFileText();
    close(fd);
    return c;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      c.ok = false;
      c.error = SystemErrorText(errno);
      break;
    }
    if (n == 0) break;
    c.bytes.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return c;
}
#endif

ParsedFile Parse(std::string bytes) {
  ParsedFile f;
  f.bytes = std::move(bytes);
  if (std::string_view(f.bytes).substr(0, kUtf8Bom.size()) == kUtf8Bom) f.body = kUtf8Bom.size();
  f.cp1251 = !IsValidUtf8(std::string_view(f.bytes).substr(f.body));
  std::size_t pos = f.body;
  while (pos < f.bytes.size()) {
    f.lines.push_back(ParseLine(f.bytes, pos));
    pos = f.lines.back().next;
  }
  return f;
}

ParsedFile Load(const std::string& path) {
  FileContent c = ReadWholeFile(path);
  return Parse(c.ok ? std::move(c.bytes) : std::string());
}

// Index of the header of the first section of that name, or -1.
long FindSection(const ParsedFile& f, std::string_view section) {
  for (std::size_t i = 0; i < f.lines.size(); ++i)
    if (f.lines[i].kind == LineKind::kSection && SameIniName(f.Name(f.lines[i]), section))
      return static_cast<long>(i);
  return -1;
}

// One past the last line of the section whose header is at index s.
std::size_t SectionEnd(const ParsedFile& f, std::size_t s) {
  std::size_t i = s + 1;
  while (i < f.lines.size() && f.lines[i].kind != LineKind::kSection) ++i;
  return i;
}

long FindKey(const ParsedFile& f, long s, std::string_view key) {
  if (s < 0) return -1;
  const std::size_t end = SectionEnd(f, static_cast<std::size_t>(s));
  for (std::size_t i = static_cast<std::size_t>(s) + 1; i < end; ++i)
    if (f.lines[i].kind == LineKind::kKey && SameIniName(f.Name(f.lines[i]), key))
      return static_cast<long>(i);
  return -1;
}

std::string Unquote(std::string v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// Cuts UTF-8 text to at most max characters.
std::string CutCharacters(std::string v, std::size_t max) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if ((static_cast<unsigned char>(v[i]) & 0xC0) == 0x80) continue;
    if (chars == max) {
      v.resize(i);
      break;
    }
    ++chars;
  }
  return v;
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A name the reader would find again exactly as given.
bool WritableName(std::string_view name, bool section) {
  if (name.empty() || HasLineBreakOrNul(name) || Trim(name) != name) return false;
  if (section) return name.find(']') == std::string_view::npos;
  return name.find('=') == std::string_view::npos && name.front() != ';' &&
         name.front() != '[';
}

// Quotes a value whose blanks at either end, or enclosing quotes, the reader
// would otherwise take away.
std::string QuotedIfNeeded(std::string_view value) {
  const bool enclosed = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
  if (!enclosed && Trim(value) == value) return std::string(value);
  // Built by appending: GCC 12 at -O3 warns falsely on "\"" + std::string.
  std::string quoted;
  quoted.reserve(value.size() + 2);
  quoted += '"';
  quoted += value;
  quoted += '"';
  return quoted;
}

}  // namespace

std::optional<int32_t> ParseIniInteger(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    uint64_t v = 0;
    for (const char c : text.substr(2)) {
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else {
        return std::nullopt;
      }
      v = v * 16 + static_cast<uint64_t>(digit);
      if (v > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(v));
  }
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

std::optional<std::string> IniFile::ReadValue(std::string_view section,
                                              std::string_view key) const {
  if (section.empty() || key.empty()) return std::nullopt;
  const ParsedFile f = Load(path_);
  const long k = FindKey(f, FindSection(f, section), key);
  if (k < 0) return std::nullopt;
  return CutCharacters(Unquote(f.Value(f.lines[static_cast<std::size_t>(k)])),
                       kIniMaxValueLength);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  return ReadValue(section, key).value_or(std::string(def));
}


int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  return ParseIniInteger(ReadString(section, key, "")).value_or(def);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> IniFile::ReadSections() const {
  const ParsedFile f = Load(path_);
  std::vector<std::string> names;
  for (const Line& l : f.lines)
    if (l.kind == LineKind::kSection) names.push_back(f.Name(l));
  return names;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
  const ParsedFile f = Load(path_);
  std::vector<std::string> keys;
  const long s = FindSection(f, section);
  if (s < 0) return keys;
  const std::size_t end = SectionEnd(f, static_cast<std::size_t>(s));
  for (std::size_t i = static_cast<std::size_t>(s) + 1; i < end; ++i)
    if (f.lines[i].kind == LineKind::kKey && f.lines[i].name_end > f.lines[i].name_begin)
      keys.push_back(f.Name(f.lines[i]));
  return keys;
}

namespace {

// A key and its value the reader would find again exactly as given.
bool WritableKeyValue(std::string_view key, std::string_view value) {
  return WritableName(key, false) && !HasLineBreakOrNul(value) && IsValidUtf8(key) &&
         IsValidUtf8(value);
}

// Puts one value into the file's bytes where WriteString says, and parses
// the lines afresh for the next; false when the text has no form in the
// file's encoding. The encoding stays the one the file was read in, even
// where the new bytes would read otherwise.
bool PutValue(ParsedFile& f, std::string_view section, std::string_view key,
              std::string_view value) {
  // Everything new goes in the file's own encoding.
  std::string enc_section(section), enc_key(key), enc_value = QuotedIfNeeded(value);
  if (f.cp1251) {
    const auto s = Utf8ToCp1251(enc_section), k = Utf8ToCp1251(enc_key),
               v = Utf8ToCp1251(enc_value);
    if (!s || !k || !v) return false;
    enc_section = *s, enc_key = *k, enc_value = *v;
  }
  const std::string eol(f.Eol());
  std::string& b = f.bytes;

  const long s = FindSection(f, section);
  const long k = FindKey(f, s, key);
  if (k >= 0) {
    const Line& l = f.lines[static_cast<std::size_t>(k)];
    b.replace(l.value_begin, l.value_end - l.value_begin, enc_value);
  } else if (s >= 0) {
    // After the section's last line that is neither blank nor a remark:
    // remarks just before the next section usually speak of that one.
    std::size_t after = static_cast<std::size_t>(s);
    const std::size_t end = SectionEnd(f, after);
    for (std::size_t i = after + 1; i < end; ++i)
      if (f.lines[i].kind == LineKind::kKey || f.lines[i].kind == LineKind::kOther) after = i;
    const Line& l = f.lines[after];
    b.insert(l.next, (l.terminated ? "" : eol) + enc_key + "=" + enc_value + eol);
  } else {
    const std::string separator = (b.size() > f.body && b.back() != '\n') ? eol : "";
    b += separator + "[" + enc_section + "]" + eol + enc_key + "=" + enc_value + eol;
  }
  const bool cp1251 = f.cp1251;
  f = Parse(std::move(b));
  f.cp1251 = cp1251;
  return true;
}

}  // namespace

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  return WriteStrings(section, {{std::string(key), std::string(value)}});
}

bool IniFile::WriteStrings(std::string_view section, const IniValues& values) {
  last_write_error_.clear();
  if (path_.empty() || !WritableName(section, true) || !IsValidUtf8(section)) return false;
  for (const auto& [key, value] : values)
    if (!WritableKeyValue(key, value)) return false;
  // A file that exists but could not be read completely is never replaced:
  // its content would be lost.
  FileContent old = ReadWholeFile(path_);
  if (!old.ok) {
    last_write_error_ = old.error;
    return false;
  }
  ParsedFile f = Parse(std::move(old.bytes));
  for (const auto& [key, value] : values)
    if (!PutValue(f, section, key, value)) return false;
  if (replace_) return replace_(path_, f.bytes, last_write_error_);
  return ReplaceFileContent(path_, f.bytes, last_write_error_);
}

bool IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

bool IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

void ReportUnableToWrite(UserQuestions& out, const IniFile& ini) {
  out.MessageBoxPrintf(
      MB_ICONERROR,
      PickLangText(LANG_TEXT("Не удаётся записать в %s", "Unable to write to %s")),
      ini.FileName().c_str());
  if (!ini.LastWriteError().empty()) out.ShowFileError(ini.FileName(), ini.LastWriteError());
}

}  // namespace rtd
