// What a service engineer needs beyond the basic operations: a read that is
// only saved when two reads agree, a blank check, an erase on its own, a
// write verified byte by byte, and a compare that lists every difference.
// Built from the same primitives and operation steps as the basic
// operations, and telling the user everything itself in the same way.
#pragma once

#include <cstdint>
#include <vector>

#include "flash/operations.h"

namespace rtd {

namespace flash_text {
// Progress titles of the service commands (log line and status text).
inline constexpr LangText kCheckRead = LANG_TEXT("Контрольное чтение FLASH", "FLASH check read");
inline constexpr LangText kBlankCheck = LANG_TEXT("Проверка чистоты FLASH", "FLASH blank check");
}  // namespace flash_text

class ServiceCommands {
 public:
  explicit ServiceCommands(FlashOperations& ops) : ops_(ops) {}
  ServiceCommands(const ServiceCommands&) = delete;
  ServiceCommands& operator=(const ServiceCommands&) = delete;

  // Reads the whole flash twice and saves the dump only when both reads
  // agree. Reads that differ: the first differing address and the number
  // of differing bytes, nothing saved (an existing file is kept), kMismatch
  // and ReadsDiffered().
  OpResult ReadVerified();
  // Whether the last ReadVerified found the two reads different.
  bool ReadsDiffered() const { return reads_differed_; }

  // Whether the whole flash holds 0xFF. A 64 KiB block whose CRC is not
  // that of an erased block is not blank without being read (only the
  // first such block is read, up to its first non-blank byte, to tell the
  // address); a block whose CRC matches is read to make sure. kOk: blank;
  // kMismatch: not blank (first address and count logged); kFailed also
  // when that first block reads back erased after all (the CRC and the
  // data disagree: the link or the clip is at fault).
  OpResult BlankCheck();

  // Asks, then the write's unlock, chip erase, re-lock and write disable
  // without writing anything, then a blank check. kNotStarted on anything
  // but Yes; kFailed also when the chip is not blank afterwards or the
  // blank check could not tell. As in the write, a failure or stop after
  // the unlock puts the protection back.
  OpResult Erase();

  // The write, and when its quick verification matched, the full compare
  // of the flash read back with the image the write held (the file is not
  // read again); the write's success is told only after that compare.
  OpResult WriteVerifiedFully();

  // A differing range of a compare, inclusive.
  struct Range {
    uint32_t first = 0;
    uint32_t last = 0;
  };

  // The full compare, which goes on past the first difference: after the
  // compare's own lines, the differing ranges (merged when fewer than
  // kDiffMergeGap equal bytes lie between them; at most kDiffMaxLines
  // lines) and the number of differing bytes.
  OpResult CompareWithDiff();

  static constexpr uint32_t kDiffMergeGap = 16;
  static constexpr std::size_t kDiffMaxLines = 100;

  // What the last CompareWithDiff found, for a window that shows it: the
  // ranges it listed, how many more there were, the differing bytes in
  // all, and (only with KeepDifferences) the image compared and the flash
  // as read, which equal the image outside the differing bytes. Empty
  // after a compare that found nothing or did not run to its end.
  struct Differences {
    std::vector<Range> ranges;
    unsigned long unlisted = 0;
    unsigned long differing = 0;
    std::vector<uint8_t> file;
    std::vector<uint8_t> flash;
  };
  bool KeepDifferences = false;
  const Differences& LastDifferences() const { return differences_; }

 private:
  // The steps the service commands share with the basic operations.
  OperationFrame& frame() { return ops_.frame_; }
  IdentifiedChip& chip() { return ops_.identified_; }
  FlashReader& reader() { return ops_.reader_; }
  OperationServices& out() { return ops_.out(); }
  // The blank check's loop, for the erase too; the gauge is its own.
  OpResult CheckBlank(bool after_erase);

  FlashOperations& ops_;
  bool reads_differed_ = false;
  Differences differences_;
};

}  // namespace rtd
