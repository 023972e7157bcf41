// Read with a second read to check it, blank check, erase, write with a
// full verification, compare with a list of differences.

#include "flash/service_commands.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "flash/checksums.h"
#include "flash/texts.h"

namespace rtd {
namespace {

constexpr uint32_t kPage = 256;

constexpr LangText kReadsDiffer = LANG_TEXT(
    "Два чтения FLASH различаются, первое различие по адресу 0x%06X, различных байт: %lu",
    "The two reads of the FLASH differ, first at address 0x%06X, differing bytes: %lu");
constexpr LangText kReadsAgree = LANG_TEXT("Оба чтения FLASH совпадают", "Both FLASH reads agree");

uint32_t Pages(uint32_t size) { return static_cast<uint32_t>((uint64_t{size} + kPage - 1) / kPage); }

bool AllErased(const uint8_t* bytes, uint32_t count) {
  return std::all_of(bytes, bytes + count, [](uint8_t b) { return b == 0xFF; });
}

}  // namespace


OpResult ServiceCommands::ReadVerified() {
  reads_differed_ = false;
  if (!ops_.BeginOnIdentifiedChip()) return OpResult::kNotStarted;
  auto& o = out();
  std::unique_ptr<uint8_t[]> first;
  if (const OpResult taken = frame().TakeImageBuffer(first); taken != OpResult::kOk) return taken;
  const uint32_t size = ops_.CurrentFlash.SizeInBytes;
  std::unique_ptr<uint8_t[]> second = frame().Allocate(size);
  if (!second) {
    o.MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kMemoryAllocate));
    first.reset();
    o.IdleFlag = 1;
    return OpResult::kFailed;
  }

  OpResult result =
      reader().ReadWholeFlash(first.get(), size, flash_text::kRead, ToolButton::SpeedButtonRead);
  if (result == OpResult::kOk)
    result = reader().ReadWholeFlash(second.get(), size, flash_text::kCheckRead,
                                     ToolButton::SpeedButtonRead);
  // Two reads through a clip that let go agree on 0xFF: only the id tells.
  if (result == OpResult::kOk && chip().TellIfContactLost(IdentifiedChip::ContactLoss::kNotSaved))
    result = OpResult::kFailed;
  if (result == OpResult::kOk) {
    const auto [a, b] = std::mismatch(first.get(), first.get() + size, second.get());
    if (a != first.get() + size) {
      unsigned long differing = 0;
      for (uint32_t i = static_cast<uint32_t>(a - first.get()); i < size; ++i)
        differing += first[i] != second[i];
      const auto at = static_cast<unsigned>(a - first.get());
      o.LogPrintf(PickLangText(kReadsDiffer), at, differing);
      o.MessageBoxPrintf(MB_ICONERROR, PickLangText(kReadsDiffer), at, differing);
      reads_differed_ = true;
      result = OpResult::kMismatch;
    } else {
      o.LogPrintf(PickLangText(kReadsAgree));
      second.reset();
      result = reader().SaveDump(first.get(), size);
    }
  }
  second.reset();
  frame().End(first);
  return result;
}

namespace {

// One pass of the blank check over the chip, block by block: what it has
// found so far, and how each block is settled.
class BlankScan {
 public:
  BlankScan(Programmer& programmer, OperationFrame& frame, uint32_t size)
      : programmer_(programmer), frame_(frame), size_(size) {}

  uint32_t blocks() const {
    return static_cast<uint32_t>((uint64_t{size_} + kImageUnit - 1) / kImageUnit);
  }
  // Settles one 64 KiB block: kOk (its finding noted), kFailed or kStopped.
  OpResult Block(uint32_t block);
  // The counts as the log tells them, then the verdict: kOk blank,
  // kMismatch not blank. A scan of the part of a larger chip that the
  // programmer reaches says so in its verdict.
  OpResult Tell(bool whole_chip);

 private:
  // Pending messages, stop request, next page on the gauge.
  bool NextPage();
  // Reads the block's pages from its start: all of them, or (when
  // stop_at_dirty) up to the first one holding a byte other than 0xFF.
  // Whether such a byte was seen; result_ tells whether the reads went
  // through.
  bool ReadPages(uint32_t from, uint32_t count, bool stop_at_dirty);

  Programmer& programmer_;
  OperationFrame& frame_;
  uint32_t size_;
  OpResult result_ = OpResult::kOk;
  int32_t step_ = 0;
  bool found_first_ = false;
  uint32_t first_dirty_ = 0;
  uint32_t dirty_blocks_ = 0;
  uint32_t by_crc_ = 0;
  uint32_t read_blocks_ = 0;
  uint8_t page_[kPage] = {};
};

bool BlankScan::NextPage() {
  frame_.out().ProcessMessages();
  if (frame_.StopRequested()) return false;
  frame_.out().ProgressStep(++step_);
  return true;
}

bool BlankScan::ReadPages(uint32_t from, uint32_t count, bool stop_at_dirty) {
  bool dirty = false;
  for (uint32_t offset = 0; offset < count; offset += kPage) {
    if (!NextPage()) {
      result_ = OpResult::kStopped;
      return dirty;
    }
    if (programmer_.FlashReadBlock(from + offset, page_) != 0) {
      result_ = OpResult::kFailed;
      return dirty;
    }
    const uint32_t n = std::min(kPage, count - offset);
    if (AllErased(page_, n)) continue;
    if (!found_first_) {
      found_first_ = true;
      const auto* written = std::find_if(page_, page_ + n, [](uint8_t b) { return b != 0xFF; });
      first_dirty_ = from + offset + static_cast<uint32_t>(written - page_);
    }
    dirty = true;
    if (stop_at_dirty) break;
  }
  return dirty;
}

OpResult BlankScan::Block(uint32_t block) {
  auto& o = frame_.out();
  const uint32_t from = block * kImageUnit;
  const uint32_t count = std::min(kImageUnit, size_ - from);
  o.ProcessMessages();
  if (frame_.StopRequested()) return OpResult::kStopped;
  uint8_t crc = 0;
  if (programmer_.FlashRangeCrc(from, from + count - 1, &crc) != 0) return OpResult::kFailed;
  // What an erased block's CRC is, for a whole block and for a short last one.
  static const std::vector<uint8_t> erased(kImageUnit, 0xFF);
  bool dirty = false;
  if (crc == Crc8Range(erased.data(), 0, count - 1)) {
    // A CRC-8 matches by chance once in 256: read the block to be sure.
    ++read_blocks_;
    dirty = ReadPages(from, count, false);
  } else {
    // Certainly not blank; only the first such block is read, and only as
    // far as its first written byte, to tell where it is.
    dirty = true;
    ++by_crc_;
    const int32_t block_end = step_ + static_cast<int32_t>(Pages(count));
    if (!found_first_ && !ReadPages(from, count, true) && result_ == OpResult::kOk) {
      // Every page read back erased although the CRC said otherwise: one
      // of the two is wrong, and neither can be trusted (a loose clip, a
      // bad cable), so the check has no answer.
      constexpr LangText kDisagree =
          LANG_TEXT("Проверка чистоты не удалась: CRC и данные расходятся по адресу 0x%06X",
                    "The blank check failed: the CRC and the data disagree at 0x%06X");
      o.LogPrintf(PickLangText(kDisagree), from);
      o.MessageBoxPrintf(MB_ICONERROR, PickLangText(kDisagree), from);
      result_ = OpResult::kFailed;
    }
    step_ = block_end;
    if (result_ == OpResult::kOk) o.ProgressStep(step_);
  }
  if (result_ == OpResult::kOk && dirty) ++dirty_blocks_;
  return result_;
}

OpResult BlankScan::Tell(bool whole_chip) {
  auto& o = frame_.out();
  o.LogPrintf(PickLangText(LANG_TEXT("Блоков по 64 КБ: %u, по CRC: %u, прочитано: %u",
                                     "Blocks of 64 KiB: %u, settled by CRC: %u, read: %u")),
              blocks(), by_crc_, read_blocks_);
  if (dirty_blocks_ == 0 && whole_chip) {
    o.LogPrintf(PickLangText(LANG_TEXT("FLASH чистая", "FLASH is blank")));
    return OpResult::kOk;
  }
  if (dirty_blocks_ == 0) {
    o.LogPrintf(PickLangText(LANG_TEXT("Первые %lu КБ FLASH чистые, остальное не проверено",
                                       "The first %lu KBytes of the FLASH are blank; the rest "
                                       "is not checked")),
                static_cast<unsigned long>(size_ / 1024));
    return OpResult::kOk;
  }
  o.LogPrintf(PickLangText(LANG_TEXT(
                  "FLASH не чистая: первый записанный байт по адресу 0x%06X, "
                  "не чистых блоков по 64 КБ: %u из %u",
                  "FLASH is not blank: first written byte at address 0x%06X, "
                  "%u of %u blocks of 64 KiB not blank")),
              first_dirty_, dirty_blocks_, blocks());
  return OpResult::kMismatch;
}

}  // namespace

OpResult ServiceCommands::CheckBlank(bool after_erase) {
  // The whole chip, also where its id says more than jedec.ini (as far as
  // the programmer reaches).
  const uint64_t whole = ops_.WholeChipSize();
  const bool whole_chip = WithinReach(whole);
  const uint32_t size = whole_chip ? static_cast<uint32_t>(whole) : ops_.CurrentFlash.SizeInBytes;
  frame().StartBusy(flash_text::kBlankCheck,
                    after_erase ? ToolButton::SpeedButtonWrite : ToolButton::SpeedButtonRead,
                    static_cast<int32_t>(Pages(size)), kPage);
  BlankScan scan(ops_.programmer_, frame(), size);
  OpResult result = OpResult::kOk;
  for (uint32_t block = 0; block < scan.blocks() && result == OpResult::kOk; ++block)
    result = scan.Block(block);
  out().ProgressHide();
  if (result != OpResult::kOk) return result;
  // A chip out of contact reads blank throughout, CRCs included.
  if (chip().TellIfContactLost(IdentifiedChip::ContactLoss::kNoVerdict)) return OpResult::kFailed;
  return scan.Tell(whole_chip);
}

OpResult ServiceCommands::BlankCheck() {
  if (!ops_.BeginOnIdentifiedChip()) return OpResult::kNotStarted;
  out().IdleFlag = 0;
  if (frame().RefuseUnreachableSize()) return OpResult::kFailed;
  frame().TellPartCovered();
  const OpResult result = CheckBlank(false);
  frame().End();
  return result;
}

OpResult ServiceCommands::Erase() {
  auto& o = out();
  constexpr LangText kQuestion =
      LANG_TEXT("Будет произведено стирание FLASH\nПродолжаем?", "It will erase FLASH\nContinue?");
  if (const OpResult confirmed = ops_.ConfirmErase(kQuestion); confirmed != OpResult::kOk)
    return confirmed;

  o.SetButtonsState(true);
  o.EnableButton(ToolButton::SpeedButtonWrite);
  const IdentifiedChip::RiskScope risk(chip());
  OpResult result = OpResult::kFailed;
  IdentifiedChip::Protection protection;
  // As in the write: each step only after the ones before it succeeded and
  // no stop came between them; a failed primitive has told the user.
  [&] {
    if (result = ops_.BackUpAndErase(protection); result != OpResult::kOk) return;
    // Erased is what was asked for: stopping now leaves the board no worse.
    chip().ClearRisk();
    result = OpResult::kFailed;
    if (!chip().Relock(protection)) return;
    if (frame().StepStopped()) {
      result = OpResult::kStopped;
      return;
    }

    // A check that failed (the CRC and the data disagree included) has
    // said why; only a chip found written is "not erased".
    result = CheckBlank(true);
    if (result == OpResult::kOk) {
      o.LogPrintf(PickLangText(
          LANG_TEXT("Стирание FLASH успешно выполнено", "Erase FLASH successfully")));
    } else if (result == OpResult::kMismatch) {
      o.MessageBoxPrintf(MB_ICONERROR, PickLangText(LANG_TEXT(
                                           "FLASH не стёрлась", "The FLASH was not erased")));
      result = OpResult::kFailed;
    }
  }();
  chip().RestoreProtection(protection);
  if (result != OpResult::kOk) chip().TellBackupToRestore();
  frame().End();
  return result;
}

OpResult ServiceCommands::WriteVerifiedFully() { return ops_.WriteImage(true); }

OpResult ServiceCommands::CompareWithDiff() {
  differences_ = {};
  auto& o = out();
  std::unique_ptr<uint8_t[]> buffer;
  uint32_t length = 0;
  if (const OpResult begun = ops_.BeginWithImage(buffer, &length); begun != OpResult::kOk)
    return begun;

  Differences found;
  std::vector<Range>& listed = found.ranges;
  Range open;
  auto close_range = [&] {
    if (listed.size() < kDiffMaxLines) {
      listed.push_back(open);
    } else {
      ++found.unlisted;
    }
  };
  // The flash side starts as the image and takes each byte that differs.
  if (KeepDifferences) found.flash.assign(buffer.get(), buffer.get() + length);
  // The full compare's own loop, which says what it says at the first
  // difference and here goes on to the end.
  const std::function<void(uint32_t, uint8_t)> each_difference = [&](uint32_t at,
                                                                     uint8_t flash_byte) {
    if (KeepDifferences) found.flash[at] = flash_byte;
    if (found.differing++ == 0) {
      open = {at, at};
    } else if (at - open.last <= kDiffMergeGap) {
      open.last = at;
    } else {
      close_range();
      open = {at, at};
    }
  };
  uint32_t differs_at = 0;
  OpResult result = reader().CompareBlocks(buffer.get(), length, &each_difference, &differs_at);
  result = reader().TellCompareResult(result, differs_at);
  if (KeepDifferences && result == OpResult::kMismatch)
    found.file.assign(buffer.get(), buffer.get() + length);
  frame().End(buffer);
  if (result == OpResult::kMismatch) result = OpResult::kOk;
  if (result != OpResult::kOk) return result;
  if (found.differing == 0) {
    o.LogPrintf(PickLangText(flash_text::kSameContent));
    return OpResult::kOk;
  }
  close_range();
  for (const Range& r : listed) {
    o.LogPrintf(PickLangText(LANG_TEXT("Различие 0x%06X...0x%06X, длина %lu",
                                       "Differs 0x%06X...0x%06X, length %lu")),
                r.first, r.last, static_cast<unsigned long>(r.last - r.first + 1));
  }
  if (found.unlisted != 0) {
    o.LogPrintf(PickLangText(LANG_TEXT("Ещё диапазонов различий: %lu",
                                       "%lu more differing ranges not listed")),
                found.unlisted);
  }
  o.LogPrintf(PickLangText(LANG_TEXT("Всего различных байт: %lu", "Differing bytes in all: %lu")),
              found.differing);
  differences_ = std::move(found);
  return OpResult::kMismatch;
}

}  // namespace rtd
