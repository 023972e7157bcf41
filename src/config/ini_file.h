// An ini file read and written the way the Windows profile-string functions
// do it, on a file the user may be editing by hand at the same time.
//
// Reading: section and key names compare without regard to ASCII letter
// case and are trimmed of blanks; a section is "[name]" (text after the
// first ']' is ignored); a key line is "name=value", the value trimmed and,
// when enclosed in a matching pair of double or single quotes, unquoted;
// lines starting with ';' and lines without '=' are no keys. Only the first
// section of a name is consulted, and in it the first key of a name. Files
// that are not valid UTF-8 are read as Windows-1251; a UTF-8 byte-order mark
// is skipped.
//
// Writing replaces values and keeps every other byte of the file: line
// ends, comments, spacing, other keys and sections. A missing key goes after
// the last key of its section, a missing section at the end of the file, a
// missing file is created. The file is replaced whole through a temporary
// file, so a crash never leaves half of it behind; values written together
// go in one replacement, so that a failure leaves all of them out or none.
//
// Nothing is cached: every call reads the file afresh.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/output_services.h"

namespace rtd {

// Longest text value delivered by ReadString, in characters.
inline constexpr std::size_t kIniMaxValueLength = 2047;

// An integer value as the program reads it: decimal with an optional sign,
// or, when longer than two characters and starting "0x" or "0X", up to
// 32 bits of hexadecimal (0x80000000 and up read as negative numbers, as the
// Windows original did). None for anything else ("12abc", "", "0x", a
// number out of range).
std::optional<int32_t> ParseIniInteger(std::string_view text);

// Whether two section or key names (or a word of the program's own written
// as a value) are the same: ASCII case does not count, as for Windows'
// profile functions.
bool SameIniName(std::string_view a, std::string_view b);

// Puts a file's new content in place: ReplaceFileContent, unless a test
// stands in for the disk (one that fills up between two writes). False with
// the system's reason when nothing was replaced.
using FileReplacement =
    std::function<bool(const std::string& path, std::string_view bytes, std::string& reason)>;

// Keys and values of one section, written together.
using IniValues = std::vector<std::pair<std::string, std::string>>;

class IniFile {
 public:
  explicit IniFile(std::string path, FileReplacement replace = nullptr)
      : path_(std::move(path)), replace_(std::move(replace)) {}

  const std::string& FileName() const { return path_; }

  // The value as written (unquoted, cut to kIniMaxValueLength characters),
  // or none when the file, section or key is absent.
  std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;
  // The value, or def when the file, section or key is absent.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  // Read as an integer; any non-zero number is true.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  // Names of the sections, in file order, as written in the file.
  std::vector<std::string> ReadSections() const;
  // Key names of the (first) section of that name, in file order (a line
  // "=value" has no name one could ask for and is left out).
  std::vector<std::string> ReadSection(std::string_view section) const;

  // False when nothing was written: the file or its directory cannot be
  // written, the file is read-only, or the text cannot be stored faithfully
  // (a line break or NUL in it, a name the reader would not find again,
  // text that is not UTF-8 or has no Windows-1251 form in a 1251 file).
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Several keys of one section in one replacement of the file, each put
  // where WriteString would put it: all of them written, or none (false,
  // as for WriteString).
  bool WriteStrings(std::string_view section, const IniValues& values);
  // Decimal, with a leading "-" when negative.
  bool WriteInteger(std::string_view section, std::string_view key, int32_t value);
  // "1" or "0".
  bool WriteBool(std::string_view section, std::string_view key, bool value);

  // The system's reason why the last write failed; empty after a success,
  // and after a text refused for what it holds.
  const std::string& LastWriteError() const { return last_write_error_; }

 private:
  std::string path_;
  FileReplacement replace_;
  std::string last_write_error_;
};

// The error the user sees when a write is refused: "Unable to write to %s"
// with the file's path, then the system's reason, when there is one,
// through UserQuestions::ShowFileError.
void ReportUnableToWrite(UserQuestions& out, const IniFile& ini);

}  // namespace rtd
