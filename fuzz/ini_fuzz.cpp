// Fuzzes the ini reader and writer with arbitrary file contents: whatever
// the file holds, reading must not fail, and one write must change nothing
// but the value it writes.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "config/ini_file.h"
#include "config/text_encoding.h"
#include "fuzz_support.h"

namespace {

using rtd::IniFile;

using rtd::fuzz::Check;
using rtd::fuzz::ReadFile;

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool ReadsAsUtf8(const std::string& bytes) {
  const std::string_view body =
      std::string_view(bytes).substr(bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0);
  return rtd::IsValidUtf8(body);
}

std::size_t Utf8Length(const std::string& s) {
  std::size_t n = 0;
  for (const char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

void CheckIntegers(const std::string& text) {
  if (const auto v = rtd::ParseIniInteger(text)) {
    // Whatever was accepted is written back as a decimal that reads the same.
    Check(rtd::ParseIniInteger(std::to_string(*v)) == v, "integer round trip");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string path = rtd::fuzz::ScratchDir() + "/fuzz.ini";
  rtd::fuzz::WriteFile(path, data, size);
  IniFile ini(path);

  // Everything readable, as the first match of each name gives it.
  using Name = std::pair<std::string, std::string>;
  std::map<Name, std::string> before;
  std::vector<Name> targets;
  const std::vector<std::string> sections = ini.ReadSections();
  for (std::size_t s = 0; s < sections.size() && s < 16; ++s) {
    const std::vector<std::string> keys = ini.ReadSection(sections[s]);
    for (std::size_t k = 0; k < keys.size() && k < 16; ++k) {
      const Name name{Lower(sections[s]), Lower(keys[k])};
      if (before.count(name) != 0) continue;
      const std::string value = ini.ReadString(sections[s], keys[k], "absent");
      Check(Utf8Length(value) <= rtd::kIniMaxValueLength, "value length");
      Check(rtd::IsValidUtf8(value), "value is UTF-8");
      CheckIntegers(value);
      Check(ini.ReadBool(sections[s], keys[k], false) ==
                (ini.ReadInteger(sections[s], keys[k], 0) != 0),
            "a boolean is an integer");
      before[name] = value;
      targets.push_back({sections[s], keys[k]});
    }
  }
  CheckIntegers(std::string(reinterpret_cast<const char*>(data), size < 24 ? size : 24));

  // Write one value: an existing key, a new key of an existing section, or a
  // new section, as the first byte picks; the value is the input's tail.
  Name target{"Fuzz Section", "FuzzKey"};
  if (size > 0) {
    const std::size_t pick = data[0] % (targets.size() + 2);
    if (pick < targets.size()) {
      target = targets[pick];
    } else if (pick == targets.size() && !sections.empty()) {
      target.first = sections[data[0] % sections.size()];
    }
  }
  const std::size_t tail = size < 40 ? size / 2 : 20;
  const std::string value(reinterpret_cast<const char*>(data) + size - tail, tail);
  const std::string old_bytes = ReadFile(path);
  const std::vector<std::string> old_sections = sections;
  const bool written = ini.WriteString(target.first, target.second, value);
  const std::string new_bytes = ReadFile(path);

  if (!written) {
    Check(new_bytes == old_bytes, "a refused write leaves the file alone");
    return 0;
  }
  // Only one stretch of bytes changed.
  std::size_t prefix = 0;
  while (prefix < old_bytes.size() && prefix < new_bytes.size() &&
         old_bytes[prefix] == new_bytes[prefix])
    ++prefix;
  std::size_t suffix = 0;
  while (suffix < old_bytes.size() - prefix && suffix < new_bytes.size() - prefix &&
         old_bytes[old_bytes.size() - 1 - suffix] == new_bytes[new_bytes.size() - 1 - suffix])
    ++suffix;
  Check(prefix + suffix <= old_bytes.size(), "one contiguous change");
  Check(old_bytes.substr(prefix, old_bytes.size() - prefix - suffix).find('\n') ==
            std::string::npos,
        "no line removed");

  // A file whose encoding the write tipped over (its only Windows-1251 bytes
  // were the value replaced) reads differently as a whole; rare in real
  // files and not something one write can keep.
  if (ReadsAsUtf8(old_bytes) != ReadsAsUtf8(new_bytes)) return 0;

  if (Utf8Length(value) <= rtd::kIniMaxValueLength)
    Check(ini.ReadString(target.first, target.second, "absent") == value, "value reads back");
  const Name written_name{Lower(target.first), Lower(target.second)};
  for (const auto& [name, old_value] : before) {
    if (name == written_name) continue;
    Check(ini.ReadString(name.first, name.second, "absent") == old_value,
          "other keys unchanged");
  }
  const std::vector<std::string> new_sections = ini.ReadSections();
  Check(new_sections.size() >= old_sections.size() &&
            std::equal(old_sections.begin(), old_sections.end(), new_sections.begin()),
        "sections kept in order");
  return 0;
}
