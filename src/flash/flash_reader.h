// Reading the whole flash block by block under the gauge: into a buffer,
// against a buffer byte by byte, or range by range by the programmer's CRC;
// and saving what was read as a dump.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "config/settings.h"
#include "flash/identified_chip.h"
#include "flash/operation_frame.h"

namespace rtd {

class FlashReader {
 public:
  FlashReader(Programmer& programmer, SettingsFile& settings, OperationFrame& frame,
              IdentifiedChip& chip)
      : programmer_(programmer), settings_(settings), frame_(frame), chip_(chip) {}
  FlashReader(const FlashReader&) = delete;
  FlashReader& operator=(const FlashReader&) = delete;

  // Reads size bytes of the flash into buffer under the gauge with this
  // title; kOk, kStopped, or kFailed after the primitive told the user.
  OpResult ReadWholeFlash(uint8_t* buffer, uint32_t size, LangText title, ToolButton stop_button);
  // Reads the flash again under the backup's check-read title and compares
  // it with buffer: kOk, kMismatch with the first differing address in
  // *first_difference (nothing told), kStopped, or kFailed.
  OpResult ReadAgainAndCompare(const uint8_t* buffer, uint32_t size, uint32_t* first_difference);
  // The full compare's block loop over the image under its own gauge; the
  // first difference goes to *first_difference, told to nobody yet.
  // Without each_difference it ends there (kMismatch); with it, it goes on
  // to the end and hands it every differing address with the byte the
  // flash holds there. kOk, kMismatch, kFailed or kStopped.
  OpResult CompareBlocks(const uint8_t* buffer, uint32_t length,
                         const std::function<void(uint32_t, uint8_t)>* each_difference,
                         uint32_t* first_difference);
  // A full compare's result as the user learns it, once the id at its end
  // says the chip was there throughout (kFailed when not): the first
  // difference logged and boxed.
  OpResult TellCompareResult(OpResult result, uint32_t first_difference);
  // Logs that the chip and the file agree: within the reach of the
  // programmer only, for a chip larger than it can address.
  void TellSameContent();
  // Compares the image with the flash by the programmer's CRC of every
  // 64 KiB and tells the result: kOk when every range matched; kMismatch,
  // kFailed or kStopped otherwise. length must not exceed the buffer; a
  // last range shorter than 64 KiB is checked over the bytes that exist.
  OpResult QuickCompareImage(const uint8_t* buffer, uint32_t length);
  // Asks where to save the dump, saves it safely, tells the user and
  // remembers the path; kCancelled when no file was chosen.
  OpResult SaveDump(const uint8_t* buffer, uint32_t size);
  // The address of the block the last whole-flash read or full compare had
  // reached when it ended: where it failed, after kFailed.
  uint32_t LastBlockAddress() const { return last_block_; }

 private:
  OperationServices& out() { return programmer_.out(); }
  // The block loop of the whole-flash reads: hands each 256-byte block
  // read (count bytes of it inside size) to each_block, which returns false
  // to end the loop early (kMismatch).
  OpResult ReadBlocks(uint32_t size, LangText title, ToolButton stop_button,
                      const std::function<bool(uint32_t, const uint8_t*, uint32_t)>& each_block);

  Programmer& programmer_;
  SettingsFile& settings_;
  OperationFrame& frame_;
  IdentifiedChip& chip_;
  uint32_t last_block_ = 0;
};

}  // namespace rtd
