// The flash chip database jedec.ini: one section per JEDEC id ("EF4013"),
// keys Manufacturer and SizeInBytes. Maintained by the user; read afresh on
// every lookup.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "config/ini_file.h"
#include "core/output_services.h"

namespace rtd {

using JedecBytes = std::array<uint8_t, 3>;

// Longest manufacturer name kept, in bytes (the original's 1000-byte
// field); a longer name is cut there, never in the middle of a character.
inline constexpr std::size_t kManufacturerMaxLength = 999;

// What the connect check stores for an id that is not usefully listed, for
// the user to edit (only where nothing of the user's is lost: see
// StoreTemplateEntry). The size is the one the id's capacity code gives,
// where it has one.
inline constexpr const char* kTemplateManufacturer = "Manufacturer";
inline constexpr uint32_t kTemplateSizeInBytes = 524288;

// Largest flash the programmer's 24-bit addresses reach, and the one test
// of a size against it.
inline constexpr uint32_t kMaxFlashSize = 16u * 1024 * 1024;
inline constexpr bool WithinReach(uint64_t size) { return size <= kMaxFlashSize; }

// Where an entry's SizeInBytes came from, as one more key beside it,
// SizeInBytesFrom, which other readers of jedec.ini pass over: "template"
// or "id" where the program wrote it, "user" where the user says it is
// theirs. The program's mark holds only while SizeInBytes still reads
// exactly as the program wrote it: a size the user typed in (0x80000 for
// the 524288 written) is theirs, whatever the mark says. An entry without
// the mark is the user's, unless its size is the one the program would
// write: the fixed guess on an id without a capacity code is a guess
// whatever the name beside it (older versions wrote it unmarked, and a
// user naming the chip left it so), and the capacity code's size is the
// program's under the template's name.
enum class SizeOrigin {
  kUser,          // written by the user, or by the shipped list
  kIdCapacity,    // the id's capacity code, written into the template
  kTemplate,      // the template's fixed guess: nothing tells the real size
  kUnmarkedGuess,  // the fixed guess without the mark that says whose it is
};
inline constexpr const char* kSizeOriginKey = "SizeInBytesFrom";
inline constexpr const char* kSizeFromTemplate = "template";
inline constexpr const char* kSizeFromId = "id";
inline constexpr const char* kSizeFromUser = "user";

struct FlashChipInfo {
  JedecBytes JedecId{};
  std::string Manufacturer;  // empty when not resolved
  uint32_t SizeInBytes = 0;  // 0 when not resolved
  SizeOrigin SizeFrom = SizeOrigin::kUser;
  // The chip's real size where it is more than the programmer reaches (by
  // the id's capacity code, or by jedec.ini): SizeInBytes then holds the
  // part it reaches, kMaxFlashSize. 0 for a chip within reach.
  uint64_t SizeBeyondReach = 0;

  bool Identified() const { return !Manufacturer.empty() && SizeInBytes != 0; }
};

// "%02X%02X%02X" of the id.
std::string JedecSectionName(const JedecBytes& id);

// The chip's size as its id tells it: most makers send the capacity as the
// id's third byte, n for 2^n bytes (EF4013: 2^19 = 512 KiB). None where
// that byte is no such code: outside 0x10..0x1F (SST, Atmel and the codes
// from 64 MiB on count differently), or a family whose third byte is a part
// number (PMC's 7F9D, Spansion's 0102, Intel's 8989).
std::optional<uint64_t> CapacityFromId(const JedecBytes& id);

class ChipDatabase {
 public:
  ChipDatabase(std::string path, UserQuestions& out) : path_(std::move(path)), out_(out) {}

  // jedec.ini in the directory of the given executable path; empty for an
  // empty path.
  static std::string PathBesideExecutable(const std::string& executable_path);

  // The ini-file object, or none after the error box "Error reading the
  // JEDEC configuration file of the program" (the path is unknown).
  std::optional<IniFile> Open();

  // A second database, read for ids that this one does not list (the
  // shipped jedec.ini of an installed program); never written.
  void SetShippedDatabase(std::string path) { shipped_path_ = std::move(path); }
  // How the file is replaced when written (config/ini_file.h).
  void SetFileReplacement(FileReplacement replace) { replace_ = std::move(replace); }

  // Clears name and size, then fills them from the id's section, the name
  // as it may be shown (ShowableText); *origin (when given) says where the
  // size came from.
  void LookupFlashChip(const JedecBytes& id, std::string& name, uint32_t& size,
                       SizeOrigin* origin = nullptr);
  // Writes both keys of the id's section (in one replacement), creating
  // section or file.
  void StoreFlashChip(const JedecBytes& id, const std::string& name, uint32_t size);

  // The id's SizeInBytes as written, for telling the user what is wrong
  // with it; none when absent (or the path is unknown: nothing is shown).
  std::optional<std::string> SizeAsWritten(const JedecBytes& id) const;
  // The file the id's entry is read from, for naming it to the user: this
  // one, or the shipped list when this one has no entry for the id.
  std::string ListingPath(const JedecBytes& id) const;
  // Puts the template values where nothing is lost: the whole template for
  // an id without a section, and in a section each key that is missing (or
  // a name that is empty), a written size with its SizeInBytesFrom mark. A
  // value the user wrote is never replaced, not even one that cannot be
  // read: it stays byte for byte for the user to mend. No size is written
  // for an id whose capacity code lies beyond kMaxFlashSize: none would be
  // true and usable both. An entry an older version wrote (the template's
  // name and size, no mark) gets its mark; a size without the mark under
  // another name is left as it is, for it may be the user's. Whatever is
  // added goes in one replacement of the file: a size never lands without
  // its mark. "Unable to write to %s" when the file refuses.
  void StoreTemplateEntry(const JedecBytes& id);

  const std::string& path() const { return path_; }

 private:
  // The database that answers for this id: this one when it has the id's
  // section, else the shipped one.
  std::optional<IniFile> OpenForLookup(const std::string& section);

  std::string path_;
  std::string shipped_path_;
  FileReplacement replace_;
  UserQuestions& out_;
};

}  // namespace rtd
