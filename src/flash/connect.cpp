// The connect check that identifies the board's flash.

#include <algorithm>
#include <optional>

#include "flash/operations.h"
#include "flash/texts.h"

namespace rtd {
namespace {

// How long the programmer gets to bring up its link to the flash.
constexpr uint32_t kLinkWaitMs = 10000;

// A SizeInBytes the operations can work with: a whole number from 1 up to
// what 24-bit addresses reach.
bool UsableSize(const std::optional<int32_t>& size) {
  return size && *size > 0 && WithinReach(static_cast<uint32_t>(*size));
}

// One of the two sizes is wrong; the erase wipes the whole chip, so what is
// kept before it must be the larger, and the user is told.
void WarnIfSizesDisagree(OperationServices& o, const JedecBytes& id, uint32_t listed) {
  const std::optional<uint64_t> by_id = CapacityFromId(id);
  if (!by_id || *by_id == listed) return;
  constexpr LangText kSizesDisagree = LANG_TEXT(
      "По идентификатору %02X%02X%02X размер FLASH %lu КБ, по jedec.ini %lu КБ: резервная "
      "копия и проверка чистоты охватывают %lu КБ",
      "The FLASH id %02X%02X%02X says %lu KBytes, jedec.ini says %lu KBytes: the backup and "
      "the blank check cover %lu KBytes");
  const char* format = PickLangText(kSizesDisagree);
  const auto id_kib = static_cast<unsigned long>(*by_id / 1024);
  const auto list_kib = static_cast<unsigned long>(listed / 1024);
  const unsigned long cover = std::max(id_kib, list_kib);
  o.LogPrintf(format, id[0], id[1], id[2], id_kib, list_kib, cover);
  o.MessageBoxPrintf(MB_ICONWARNING | MB_OKONLY, format, id[0], id[1], id[2], id_kib, list_kib,
                     cover);
}

}  // namespace

OpResult FlashOperations::WaitForLink() {
  auto& o = out();
  Clock& clock = programmer_.link().clock();
  const uint32_t t0 = clock.TickCount();
  bool waiting = false;
  uint32_t elapsed = 0;
  // Room for whatever the link may copy back. An answer without data (a
  // bare status) never counts as the flash's answer.
  uint8_t reply[256] = {};
  for (;;) {
    o.DelayWithMessages(100);
    if (frame_.StopRequested()) return OpResult::kStopped;
    if (waiting) o.ProgressStep(static_cast<int32_t>(elapsed));
    uint32_t count = 1;
    bool data = false;
    if (programmer_.DeviceRead(kCmdLinkCheck, 0, reply, 0, &count, kTimeoutLinkCheck, &data) != 0)
      return OpResult::kFailed;
    if (data && count >= 1 && reply[0] == 0) return OpResult::kOk;
    if (!waiting) {
      o.ProgressStart(static_cast<int32_t>(kLinkWaitMs),
                      PickLangText(LANG_TEXT("Ожидание соединения", "Waiting for connection")));
      waiting = true;
    }
    elapsed = clock.TickCount() - t0;
    if (elapsed >= kLinkWaitMs) return OpResult::kNoLink;
  }
}

OpResult FlashOperations::SpeedButtonConnectClick() {
  auto& o = out();
  if (!Begin()) return OpResult::kNotStarted;
  o.IdleFlag = 0;
  o.LogPrintf(PickLangText(LANG_TEXT("Проверка связи", "Connect check")));
  o.SetButtonsState(true);
  o.EnableButton(ToolButton::SpeedButtonConnect);

  OpResult failure = WaitForLink();
  JedecBytes id{};
  if (failure == OpResult::kOk) {
    failure = identified_.ReadJedecId(&id);
    if (failure == OpResult::kNoId) o.LogPrintf(PickLangText(flash_text::kNoFlashType));
  }
  if (failure != OpResult::kOk) {
    o.ProgressHide();
    o.LogPrintf(PickLangText(LANG_TEXT("Нет связи", "No connect")));
    o.SetButtonsState(false);
    o.IdleFlag = 1;
    return failure;
  }

  o.LogPrintf(PickLangText(LANG_TEXT("Связь установлена", "Connect established")));
  const bool answers = FlashAnswers(id);
  const bool resolved = answers && IdentifyFlash(id) == 0;
  if (resolved) {
    o.LogPrintf("JEDEC ID: %02X%02X%02X %s %lu KBytes", id[0], id[1], id[2],
                CurrentFlash.Manufacturer,
                static_cast<unsigned long>(CurrentFlash.SizeInBytes / 1024));
    CurrentFlash.JedecId = id;
    WarnIfSizesDisagree(o, id, CurrentFlash.SizeInBytes);
  } else {
    o.LogPrintf("JEDEC ID: %02X%02X%02X", id[0], id[1], id[2]);
  }
  if (!answers) {
    // Listing such an id would make the next check take "no chip" for a
    // 512 KiB chip, erase and write included.
    o.LogPrintf(PickLangText(flash_text::kNoChipAnswers));
    CurrentFlash.Manufacturer.clear();
    CurrentFlash.SizeInBytes = 0;
  }
  o.ProgressHide();
  o.SetButtonsState(false);
  o.IdleFlag = 1;
  // The user sees a finished check either way; a front end that needs an
  // identified chip learns that it has none, and why.
  if (resolved) return OpResult::kOk;
  if (!answers) return OpResult::kNoChip;
  const std::optional<uint64_t> by_id = CapacityFromId(id);
  return by_id && !WithinReach(*by_id) && !chips_.SizeAsWritten(id) ? OpResult::kBeyondReach
                                                                        : OpResult::kUnknownChip;
}

uint64_t FlashOperations::WholeChipSize() const { return rtd::WholeChipSize(CurrentFlash); }

int FlashOperations::IdentifyFlash(const JedecBytes& id) {
  chips_.LookupFlashChip(id, CurrentFlash.Manufacturer, CurrentFlash.SizeInBytes,
                         &CurrentFlash.SizeFrom);
  const std::optional<std::string> size_text = chips_.SizeAsWritten(id);
  const bool size_present = size_text.has_value();
  const bool size_usable = size_present && UsableSize(ParseIniInteger(*size_text));
  if (CurrentFlash.Identified() && size_usable) {
    // A template of an older version gets the mark that tells it from a
    // size the user entered; the size's origin is then read as it now
    // stands, for the refusal before an erase to name what the file holds.
    if (CurrentFlash.SizeFrom != SizeOrigin::kUser) {
      chips_.StoreTemplateEntry(id);
      chips_.LookupFlashChip(id, CurrentFlash.Manufacturer, CurrentFlash.SizeInBytes,
                             &CurrentFlash.SizeFrom);
    }
    return 0;
  }
  const std::string section = JedecSectionName(id);
  const std::optional<uint64_t> by_id = CapacityFromId(id);
  if (size_present && !size_usable) {
    // Kept as the user wrote it: a template value in its place would lose
    // what they meant (a 16 MiB chip read as 512 KiB), so they are told
    // what to mend instead.
    constexpr LangText kBadSize =
        LANG_TEXT("Неподдерживаемый размер FLASH \"%s\" в секции [%s] файла %s",
                  "Unsupported FLASH size \"%s\" in section [%s] of %s");
    Refuse(out(), PickLangText(kBadSize), *size_text, section, chips_.path());
    CurrentFlash.SizeInBytes = 0;
  } else if (!size_present && by_id && !WithinReach(*by_id)) {
    // No size is written for such a chip: its own would be refused, and a
    // smaller one would make the erase wipe more than the backup keeps.
    constexpr LangText kBeyondReach = LANG_TEXT(
        "Идентификатор FLASH %02X%02X%02X указывает %lu КБ: микросхема больше, чем может "
        "адресовать программатор (%lu КБ)",
        "The FLASH id %02X%02X%02X says %lu KBytes: the chip is larger than the programmer can "
        "address (%lu KBytes)");
    Refuse(out(), PickLangText(kBeyondReach), id[0], id[1], id[2],
           static_cast<unsigned long>(*by_id / 1024),
           static_cast<unsigned long>(kMaxFlashSize / 1024));
  }
  chips_.StoreTemplateEntry(id);
  return 1;
}

}  // namespace rtd
