// The backup's file name.

#include <cctype>

#include "flash/backup.h"
#include "i18n/lang.h"

namespace rtd {

std::string BackupFileName(const CalendarTime& t, const JedecBytes& id, uint32_t crc32) {
  return FormatText("%04d%02d%02d-%02d%02d%02d_%02X%02X%02X_%08x.bin", t.year, t.month, t.day,
                    t.hour, t.minute, t.second, id[0], id[1], id[2], crc32);
}

bool IsBackupFileName(const std::string& name) {
  // d: a digit, X: an upper-case hexadecimal digit, x: a lower-case one.
  static constexpr std::string_view kForm = "dddddddd-dddddd_XXXXXX_xxxxxxxx";
  if (name.size() < kForm.size() + 4) return false;
  for (std::size_t i = 0; i < kForm.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const bool digit = std::isdigit(c) != 0;
    bool fits = false;
    switch (kForm[i]) {
      case 'd': fits = digit; break;
      case 'X': fits = digit || (c >= 'A' && c <= 'F'); break;
      case 'x': fits = digit || (c >= 'a' && c <= 'f'); break;
      default: fits = c == static_cast<unsigned char>(kForm[i]); break;
    }
    if (!fits) return false;
  }
  std::string_view rest = std::string_view(name).substr(kForm.size());
  if (rest.substr(rest.size() - 4) != ".bin") return false;
  rest.remove_suffix(4);
  if (rest.empty()) return true;
  if (rest.size() < 2 || rest[0] != '-') return false;
  for (const char c : rest.substr(1))
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return false;
  return true;
}

}  // namespace rtd
