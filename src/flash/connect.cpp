// The operation frame the flash operations share, and the connect check
// that identifies the board's flash.

#include <new>
#include <optional>

#include "flash/operations.h"
#include "flash/texts.h"

namespace rtd {
namespace {

// How long the programmer gets to bring up its link to the flash.
constexpr uint32_t kLinkWaitMs = 10000;

// An id of all ones or all zeros is what the bus reads with no chip on it
// (or a clip that does not touch): no chip to look up or to list.
bool FlashAnswers(const JedecBytes& id) {
  const bool ones = id[0] == 0xFF && id[1] == 0xFF && id[2] == 0xFF;
  const bool zeros = id[0] == 0x00 && id[1] == 0x00 && id[2] == 0x00;
  return !ones && !zeros;
}

// A SizeInBytes the operations can work with: a whole number from 1 up to
// what 24-bit addresses reach.
bool UsableSize(const std::optional<int32_t>& size) {
  return size && *size > 0 && static_cast<uint32_t>(*size) <= kMaxFlashSize;
}

}  // namespace

std::unique_ptr<uint8_t[]> FlashOperations::AllocateImageBuffer(uint32_t size) {
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

// Entered while an operation runs, a click is that operation's stop request.
bool FlashOperations::PassGate() {
  if (out().IdleFlag == 0) {
    out().IdleFlag = 1;
    return false;
  }
  return true;
}

bool FlashOperations::StopRequested() {
  if (out().IdleFlag != 1) return false;
  out().MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kUserTerminate));
  return true;
}

// Logs the operation's title, makes the buttons busy with its own button
// as the stop button, and starts the gauge under the same title, each step
// standing for bytes_per_step bytes of flash.
void FlashOperations::StartBusy(LangText title, ToolButton stop_button, int32_t maximum,
                                uint32_t bytes_per_step) {
  auto& o = out();
  o.LogPrintf(PickLangText(title));
  o.SetButtonsState(true);
  o.EnableButton(stop_button);
  o.SetProgressUnit(bytes_per_step);
  o.ProgressStart(maximum, PickLangText(title));
}

// The head of every block loop: pending messages run, a stop request ends
// the loop (false), otherwise the gauge steps to the next block.
bool FlashOperations::NextBlock(int32_t& counter) {
  out().ProcessMessages();
  if (StopRequested()) return false;
  out().ProgressStep(++counter);
  return true;
}

// Sets IdleFlag to 0 and takes a buffer of the flash's size. On failure the
// user has seen why and the program is idle again.
OpResult FlashOperations::TakeImageBuffer(std::unique_ptr<uint8_t[]>& buffer) {
  auto& o = out();
  o.IdleFlag = 0;
  const uint32_t size = CurrentFlash.SizeInBytes;
  // The protocol's addresses have 24 bits: a larger chip would be read
  // round and round from its start, so such a size is refused outright.
  if (size > kMaxFlashSize) {
    o.MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kUnsupportedSize),
                       static_cast<unsigned long>(size));
    o.IdleFlag = 1;
    return OpResult::kFailed;
  }
  buffer = AllocateImageBuffer(size);
  if (!buffer) {
    o.MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kMemoryAllocate));
    o.IdleFlag = 1;
    return OpResult::kFailed;
  }
  return OpResult::kOk;
}

// Takes the buffer, then chooses and loads the image file into it. On
// anything but kOk the buffer is gone and the program idle again, with the
// buttons as they were.
OpResult FlashOperations::TakeAndLoadImage(std::unique_ptr<uint8_t[]>& buffer,
                                           uint32_t* image_length) {
  if (const OpResult taken = TakeImageBuffer(buffer); taken != OpResult::kOk) return taken;
  auto& o = out();
  const std::string name = o.ChooseImageToOpen();
  OpResult result = OpResult::kOk;
  if (name.empty()) {
    result = OpResult::kCancelled;
  } else if (LoadImageFile(o, name, buffer.get(), CurrentFlash.SizeInBytes, image_length) != 0) {
    o.ToolbarNotice(2500, 250, PickLangText(flash_text::kErrorReadingFile));
    result = OpResult::kFailed;
  }
  if (result != OpResult::kOk) {
    buffer.reset();
    o.IdleFlag = 1;
    return result;
  }
  settings_.RememberImagePath(name);
  return OpResult::kOk;
}

void FlashOperations::EndOperation(std::unique_ptr<uint8_t[]>& buffer) {
  buffer.reset();
  chip_at_risk_ = false;
  out().SetButtonsState(false);
  out().IdleFlag = 1;
}

OpResult FlashOperations::SpeedButtonConnectClick() {
  auto& o = out();
  if (!PassGate()) return OpResult::kNotStarted;
  o.IdleFlag = 0;
  o.LogPrintf(PickLangText(LANG_TEXT("Проверка связи", "Connect check")));
  o.SetButtonsState(true);
  o.EnableButton(ToolButton::SpeedButtonConnect);

  Clock& clock = programmer_.link().clock();
  const uint32_t t0 = clock.TickCount();
  bool waiting = false;
  uint32_t elapsed = 0;
  OpResult failure = OpResult::kFailed;
  bool link_up = false;
  // Room for whatever the link may copy back. An answer without data (a
  // bare status) never counts as the flash's answer.
  uint8_t reply[256] = {};
  for (;;) {
    o.DelayWithMessages(100);
    if (StopRequested()) {
      failure = OpResult::kStopped;
      break;
    }
    if (waiting) o.ProgressStep(static_cast<int32_t>(elapsed));
    uint32_t count = 1;
    bool data = false;
    if (programmer_.DeviceRead(kCmdLinkCheck, 0, reply, 0, &count, kTimeoutLinkCheck, &data) != 0)
      break;
    if (data && count >= 1 && reply[0] == 0) {
      link_up = true;
      break;
    }
    if (!waiting) {
      o.ProgressStart(static_cast<int32_t>(kLinkWaitMs),
                      PickLangText(LANG_TEXT("Ожидание соединения", "Waiting for connection")));
      waiting = true;
    }
    elapsed = clock.TickCount() - t0;
    if (elapsed >= kLinkWaitMs) {
      failure = OpResult::kNoLink;
      break;
    }
  }

  if (link_up) {
    uint32_t count = 5;
    bool data = false;
    if (programmer_.DeviceRead(kCmdReadJedecId, 0, reply, 0, &count, kTimeoutReadJedecId, &data) !=
        0) {
      link_up = false;
    } else if (!data || count < 4 || reply[0] != 0) {
      // A reply too short to hold the id is as useless as a refusal.
      o.LogPrintf(
          PickLangText(LANG_TEXT("Ошибка получения типа FLASH", "Error getting type FLASH")));
      link_up = false;
    }
  }
  if (!link_up) {
    o.ProgressHide();
    o.LogPrintf(PickLangText(LANG_TEXT("Нет связи", "No connect")));
    o.SetButtonsState(false);
    o.IdleFlag = 1;
    return failure;
  }

  o.LogPrintf(PickLangText(LANG_TEXT("Связь установлена", "Connect established")));
  const JedecBytes id{reply[1], reply[2], reply[3]};
  const bool answers = FlashAnswers(id);
  const bool resolved = answers && IdentifyFlash(id) == 0;
  if (resolved) {
    o.LogPrintf("JEDEC ID: %02X%02X%02X %s %lu KBytes", id[0], id[1], id[2],
                CurrentFlash.Manufacturer,
                static_cast<unsigned long>(CurrentFlash.SizeInBytes / 1024));
    CurrentFlash.JedecId = id;
  } else {
    o.LogPrintf("JEDEC ID: %02X%02X%02X", id[0], id[1], id[2]);
  }
  if (!answers) {
    // Listing such an id would make the next check take "no chip" for a
    // 512 KiB chip, erase and write included.
    o.LogPrintf(PickLangText(LANG_TEXT("FLASH не отвечает: нет микросхемы или нет контакта",
                                       "The FLASH does not answer: no chip, or no contact")));
    CurrentFlash.Manufacturer.clear();
    CurrentFlash.SizeInBytes = 0;
  }
  o.ProgressHide();
  o.SetButtonsState(false);
  o.IdleFlag = 1;
  // The user sees a finished check either way; a front end that needs an
  // identified chip learns that it has none, and why.
  if (resolved) return OpResult::kOk;
  return answers ? OpResult::kUnknownChip : OpResult::kFailed;
}

int FlashOperations::IdentifyFlash(const JedecBytes& id) {
  chips_.LookupFlashChip(id, CurrentFlash.Manufacturer, CurrentFlash.SizeInBytes);
  const std::optional<std::string> size_text = chips_.SizeAsWritten(id);
  const bool size_present = size_text.has_value();
  const bool size_usable = size_present && UsableSize(ParseIniInteger(*size_text));
  if (CurrentFlash.Identified() && size_usable) return 0;
  if (size_present && !size_usable) {
    // Kept as the user wrote it: a template value in its place would lose
    // what they meant (a 16 MiB chip read as 512 KiB), so they are told
    // what to mend instead.
    constexpr LangText kBadSize =
        LANG_TEXT("Неподдерживаемый размер FLASH \"%s\" в секции [%s] файла %s",
                  "Unsupported FLASH size \"%s\" in section [%s] of %s");
    const char* format = PickLangText(kBadSize);
    const std::string section = JedecSectionName(id);
    out().LogPrintf(format, *size_text, section, chips_.path());
    out().MessageBoxPrintf(MB_ICONERROR, format, *size_text, section, chips_.path());
    CurrentFlash.SizeInBytes = 0;
  }
  chips_.StoreTemplateEntry(id);
  return 1;
}

}  // namespace rtd
