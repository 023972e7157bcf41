// The frame every flash operation runs in: the gate that lets one operation
// run at a time (a click while one runs is its stop request), the image
// buffer and its file, the busy buttons and the gauge, the stop test
// between two blocks, and the end that gives the window back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "config/chip_database.h"
#include "config/settings.h"
#include "flash/operation_result.h"
#include "i18n/lang.h"
#include "link/commands.h"

namespace rtd {

class OperationFrame {
 public:
  // Where the buffers come from (tests make it fail).
  using Allocator = std::function<std::unique_ptr<uint8_t[]>(uint32_t)>;

  OperationFrame(Programmer& programmer, const FlashChipInfo& chip, SettingsFile& settings,
                 Allocator allocate)
      : programmer_(programmer), chip_(chip), settings_(settings), allocate_(std::move(allocate)) {}
  OperationFrame(const OperationFrame&) = delete;
  OperationFrame& operator=(const OperationFrame&) = delete;

  OperationServices& out() { return programmer_.out(); }

  // Entered while an operation runs, a click is that operation's stop
  // request (false: nothing more to do).
  bool PassGate();
  // A size larger than 24-bit addresses reach would be read round and
  // round from its start: refused with a box before anything is sent, and
  // the program idle again (true: refused).
  bool RefuseUnreachableSize();
  // A chip identified as the part of it the programmer reaches: a log line
  // that the operation covers that part alone, so that no verdict passes
  // for the whole chip's.
  void TellPartCovered();
  // Whether the chip is larger than the programmer reaches, so that what
  // the operation finds holds for its first part only.
  bool CoversPartOnly() const;
  // The image buffer of one operation; null when the memory cannot be had.
  std::unique_ptr<uint8_t[]> Allocate(uint32_t size) { return allocate_(size); }
  // Sets IdleFlag to 0 and takes a buffer of the flash's size (the size
  // refused, or the part covered told, first). On failure the user has
  // seen why and the program is idle again.
  OpResult TakeImageBuffer(std::unique_ptr<uint8_t[]>& buffer);
  // Takes the buffer, then chooses and loads the image file into it. On
  // anything but kOk the buffer is gone and the program idle again.
  OpResult TakeAndLoadImage(std::unique_ptr<uint8_t[]>& buffer, uint32_t* image_length);
  // The buttons as the connection and the chip allow, and the gate open.
  void End(std::unique_ptr<uint8_t[]>& buffer);
  void End();

  // A stop request, or the programmer closed under the running operation
  // (told to the user; true: stop).
  bool StopRequested();
  // Between two steps that change the chip: pending messages run, then
  // StopRequested.
  bool StepStopped();
  // Whether the programmer was closed (by its owner) since the running
  // operation began.
  bool LinkTakenAway();
  // Logs the operation's title, makes the buttons busy with its own button
  // as the stop button, and starts the gauge under the same title, each
  // step standing for bytes_per_step bytes of flash.
  void StartBusy(LangText title, ToolButton stop_button, int32_t maximum,
                 uint32_t bytes_per_step);
  // The head of every block loop: pending messages run, a stop request
  // ends the loop (false), otherwise the gauge steps to the next block.
  bool NextBlock(int32_t& counter);
  // The block loop of the long operations, over size bytes in blocks of
  // block bytes (the last one cut short by the end): for each, NextBlock
  // (a stop ends the loop with kStopped), then step with the block's
  // address and length; anything but kOk from it ends the loop with that.
  OpResult ForEachBlock(uint32_t size, uint32_t block,
                        const std::function<OpResult(uint32_t address, uint32_t count)>& step);

 private:
  Programmer& programmer_;
  const FlashChipInfo& chip_;
  SettingsFile& settings_;
  Allocator allocate_;
  // The transport's Closings() when the running operation began.
  uint32_t closings_at_start_ = 0;
};

}  // namespace rtd
