#include "config/chip_database.h"

#include <fmt/format.h>

#include "config/settings.h"
#include "core/utf8.h"
#include "i18n/lang.h"

namespace rtd {

std::optional<uint64_t> CapacityFromId(const JedecBytes& id) {
  static constexpr std::array<std::array<uint8_t, 2>, 3> kNotCodes = {{
      {0x7F, 0x9D},  // PMC Pm25LV: 7F9D13 is 1 MiB
      {0x01, 0x02},  // Spansion S25FL-A: 010212 is 512 KiB
      {0x89, 0x89},  // Intel S33: 898911 is 2 MiB
  }};
  for (const auto& family : kNotCodes)
    if (id[0] == family[0] && id[1] == family[1]) return std::nullopt;
  if (id[2] < 0x10 || id[2] > 0x1F) return std::nullopt;
  return uint64_t{1} << id[2];
}

namespace {

// The size the program writes into an id's template, and what it marks it
// as: the capacity code's size where the id has one, the fixed guess where
// it has none. None where the code says more than the programmer reaches:
// that size would only be refused, and any smaller one would be untrue.
struct WrittenSize {
  std::optional<uint32_t> size;
  SizeOrigin origin = SizeOrigin::kTemplate;
};

WrittenSize TemplateSizeFor(const JedecBytes& id) {
  if (const std::optional<uint64_t> by_id = CapacityFromId(id)) {
    if (!WithinReach(*by_id)) return {std::nullopt, SizeOrigin::kIdCapacity};
    return {static_cast<uint32_t>(*by_id), SizeOrigin::kIdCapacity};
  }
  return {kTemplateSizeInBytes, SizeOrigin::kTemplate};
}

const char* OriginMark(SizeOrigin origin) {
  return origin == SizeOrigin::kIdCapacity ? kSizeFromId : kSizeFromTemplate;
}

// Where the section's size came from. The program's only while the size
// reads exactly as the program wrote it, and the mark says so. Without a
// mark, the fixed guess stays a guess whatever the name: a user who named
// the chip and left its size (or a write that failed after the name) says
// nothing about the size. The capacity code's size, true for most chips,
// is the program's under the template's name only. The mark "user", like
// any the program does not write, makes it the user's.
SizeOrigin OriginOf(const IniFile& ini, const std::string& section, const JedecBytes& id) {
  const WrittenSize written = TemplateSizeFor(id);
  const std::optional<std::string> size = ini.ReadValue(section, "SizeInBytes");
  if (!written.size || !size || *size != std::to_string(*written.size)) return SizeOrigin::kUser;
  if (const std::optional<std::string> mark = ini.ReadValue(section, kSizeOriginKey))
    // Case does not count, as for the file's keys: "Template" typed by hand
    // still says the size is a guess.
    return SameIniName(*mark, OriginMark(written.origin)) ? written.origin : SizeOrigin::kUser;
  if (written.origin == SizeOrigin::kTemplate) return SizeOrigin::kUnmarkedGuess;
  return ini.ReadString(section, "Manufacturer", "") == kTemplateManufacturer ? written.origin
                                                                             : SizeOrigin::kUser;
}

}  // namespace

std::string JedecSectionName(const JedecBytes& id) {
  return fmt::format("{:02X}{:02X}{:02X}", id[0], id[1], id[2]);
}

std::string ChipDatabase::PathBesideExecutable(const std::string& executable_path) {
  if (executable_path.empty()) return {};
  const std::size_t slash = LastDirectorySeparator(executable_path);
  if (slash == std::string::npos) return "jedec.ini";
  return executable_path.substr(0, slash + 1) + "jedec.ini";
}

std::optional<IniFile> ChipDatabase::Open() {
  if (path_.empty()) {
    out_.MessageBoxPrintf(MB_ICONERROR,
                          PickLangText(LANG_TEXT("Ошибка чтения JEDEC файла конфигурации",
                                                 "Error reading the JEDEC configuration file "
                                                 "of the program")));
    return std::nullopt;
  }
  return IniFile(path_, replace_);
}

std::optional<IniFile> ChipDatabase::OpenForLookup(const std::string& section) {
  auto ini = Open();
  // The user's own entry wins, even a template not yet filled in: that is
  // the one they are asked to edit.
  if (!ini || shipped_path_.empty() || !ini->ReadSection(section).empty()) return ini;
  return IniFile(shipped_path_);
}

void ChipDatabase::LookupFlashChip(const JedecBytes& id, std::string& name, uint32_t& size,
                                   SizeOrigin* origin) {
  name.clear();
  size = 0;
  if (origin != nullptr) *origin = SizeOrigin::kUser;
  const std::string section = JedecSectionName(id);
  const auto ini = OpenForLookup(section);
  if (!ini) return;
  // Shown in the log, the window and on a terminal: the file is the user's
  // (or a download's), and an escape sequence in it would act there.
  name = ClipUtf8(ShowableText(ini->ReadString(section, "Manufacturer", "")),
                  kManufacturerMaxLength);
  // Stored as read, whatever it is; the flash operations judge plausibility.
  size = static_cast<uint32_t>(ini->ReadInteger(section, "SizeInBytes", 0));
  if (origin != nullptr) *origin = OriginOf(*ini, section, id);
}

void ChipDatabase::StoreFlashChip(const JedecBytes& id, const std::string& name, uint32_t size) {
  auto ini = Open();
  if (!ini) return;
  const std::string section = JedecSectionName(id);
  // Written as the signed 32-bit integer the reader gives back, so that
  // even a size of 2 GiB or more reads back as itself.
  const IniValues values = {{"Manufacturer", name},
                            {"SizeInBytes", std::to_string(static_cast<int32_t>(size))}};
  if (!ini->WriteStrings(section, values)) ReportUnableToWrite(out_, *ini);
}

std::string ChipDatabase::ListingPath(const JedecBytes& id) const {
  if (shipped_path_.empty() || !IniFile(path_).ReadSection(JedecSectionName(id)).empty())
    return path_;
  return shipped_path_;
}

std::optional<std::string> ChipDatabase::SizeAsWritten(const JedecBytes& id) const {
  if (path_.empty()) return std::nullopt;
  // From the same file the lookup reads.
  return IniFile(ListingPath(id)).ReadValue(JedecSectionName(id), "SizeInBytes");
}

void ChipDatabase::StoreTemplateEntry(const JedecBytes& id) {
  auto ini = Open();
  if (!ini) return;
  const std::string section = JedecSectionName(id);
  const auto name = ini->ReadValue(section, "Manufacturer");
  const auto size = ini->ReadValue(section, "SizeInBytes");
  // The id's own capacity code, where it has one, is a better first guess
  // than any fixed size: the backup before an erase reaches as far as this.
  const WrittenSize written = TemplateSizeFor(id);
  // The mark goes with the size the program writes, and to an older
  // version's template (judged before a name is filled in here), so that
  // the backup knows a guess from a size the user entered, whatever its
  // value.
  const bool older_template = size && !ini->ReadValue(section, kSizeOriginKey) &&
                              name && *name == kTemplateManufacturer &&
                              OriginOf(*ini, section, id) != SizeOrigin::kUser;
  IniValues missing;
  if (!name || name->empty()) missing.emplace_back("Manufacturer", kTemplateManufacturer);
  if (!size && written.size) {
    missing.emplace_back("SizeInBytes", std::to_string(*written.size));
    missing.emplace_back(kSizeOriginKey, OriginMark(written.origin));
  } else if (older_template) {
    missing.emplace_back(kSizeOriginKey, OriginMark(written.origin));
  }
  if (!missing.empty() && !ini->WriteStrings(section, missing)) ReportUnableToWrite(out_, *ini);
}
}  // namespace rtd
