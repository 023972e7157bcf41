// The connect check that identifies the board's flash.

#include <algorithm>
#include <optional>

#include "core/utf8.h"
#include "flash/operations.h"
#include "flash/texts.h"

namespace rtd {
namespace {

// How long the programmer gets to bring up its link to the flash.
constexpr uint32_t kLinkWaitMs = 10000;

// A SizeInBytes the operations can work with: a whole number from 1 up to
// what 24-bit addresses reach (0 stands for one that cannot be read).
bool UsableSize(int64_t size) { return size > 0 && WithinReach(static_cast<uint64_t>(size)); }

// The chip's real size where it is more than the programmer reaches: the
// id's capacity code or jedec.ini's size, the larger where both are given
// (the chip erase would wipe that much); 0 for a chip within reach. Neither
// source makes the other smaller: a 32 MiB id stays 32 MiB whatever size
// the user enters.
uint64_t SizeBeyondReach(const JedecBytes& id, int64_t listed) {
  const uint64_t by_id = CapacityFromId(id).value_or(0);
  const uint64_t by_list = listed > 0 ? static_cast<uint64_t>(listed) : 0;
  const uint64_t whole = std::max(by_id, by_list);
  return WithinReach(whole) ? 0 : whole;
}

// A size in KBytes, rounded up: a size just past the reach must not read as
// the reach.
unsigned long KBytesRoundedUp(uint64_t bytes) {
  return static_cast<unsigned long>((bytes + 1023) / 1024);
}

// Said at every connect check of a chip larger than the programmer's reach,
// with its size and who gives it: no size the user could enter would make
// it whole, so the line tells what can be done instead.
void TellBeyondReach(OperationServices& o, const JedecBytes& id, uint64_t whole,
                     const std::string& path) {
  constexpr LangText kById = LANG_TEXT(
      "Идентификатор FLASH %02X%02X%02X указывает %lu КБ: микросхема больше, чем может "
      "адресовать программатор; чтение, сравнение и проверка чистоты охватывают её первые %lu КБ, "
      "стирание и запись не выполняются",
      "The FLASH id %02X%02X%02X says %lu KBytes: the chip is larger than the programmer can "
      "address; read, compare and the blank check cover its first %lu KBytes, erase and write "
      "are refused");
  constexpr LangText kByList = LANG_TEXT(
      "В секции [%s] файла %s размер FLASH %lu КБ: микросхема больше, чем может адресовать "
      "программатор; чтение, сравнение и проверка чистоты охватывают её первые %lu КБ, стирание "
      "и запись не выполняются",
      "Section [%s] of %s gives the FLASH %lu KBytes: the chip is larger than the programmer can "
      "address; read, compare and the blank check cover its first %lu KBytes, erase and write "
      "are refused");
  const unsigned long whole_kib = KBytesRoundedUp(whole);
  const auto reach_kib = static_cast<unsigned long>(kMaxFlashSize / 1024);
  const std::string text =
      CapacityFromId(id) == whole
          ? FormatText(PickLangText(kById), id[0], id[1], id[2], whole_kib, reach_kib)
          : FormatText(PickLangText(kByList), JedecSectionName(id), path, whole_kib, reach_kib);
  o.LogPrintf("%s", text);
  o.MessageBoxPrintf(MB_ICONWARNING | MB_OKONLY, "%s", text);
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
  const OpResult found = answers ? IdentifyFlash(id) : OpResult::kNoChip;
  const bool resolved = found != OpResult::kNoChip && CurrentFlash.Identified();
  if (resolved) {
    // A chip beyond reach shows its real size, as the line that follows.
    const uint64_t beyond = CurrentFlash.SizeBeyondReach;
    const unsigned long shown_kib = beyond != 0 ? KBytesRoundedUp(beyond)
                                                : CurrentFlash.SizeInBytes / 1024;
    o.LogPrintf("JEDEC ID: %02X%02X%02X %s %lu KBytes", id[0], id[1], id[2],
                CurrentFlash.Manufacturer, shown_kib);
    CurrentFlash.JedecId = id;
    if (found == OpResult::kOk) WarnIfSizesDisagree(o, id, CurrentFlash.SizeInBytes);
  } else {
    o.LogPrintf("JEDEC ID: %02X%02X%02X", id[0], id[1], id[2]);
  }
  if (found == OpResult::kBeyondReach)
    TellBeyondReach(o, id, CurrentFlash.SizeBeyondReach, chips_.ListingPath(id));
  if (!answers) {
    // Listing such an id would make the next check take "no chip" for a
    // 512 KiB chip, erase and write included.
    o.LogPrintf(PickLangText(flash_text::kNoChipAnswers));
    CurrentFlash.Manufacturer.clear();
    CurrentFlash.SizeInBytes = 0;
    CurrentFlash.SizeBeyondReach = 0;
  }
  o.ProgressHide();
  o.SetButtonsState(false);
  o.IdleFlag = 1;
  // The user sees a finished check either way; a front end that needs an
  // identified chip learns that it has none, or only part of one, and why.
  return found;
}

uint64_t FlashOperations::WholeChipSize() const { return rtd::WholeChipSize(CurrentFlash); }

OpResult FlashOperations::IdentifyFlash(const JedecBytes& id) {
  chips_.LookupFlashChip(id, CurrentFlash.Manufacturer, CurrentFlash.SizeInBytes,
                         &CurrentFlash.SizeFrom);
  const std::optional<std::string> size_text = chips_.SizeAsWritten(id);
  // 0 where there is none, or none that reads as a number.
  const int64_t size = size_text ? ParseIniInteger(*size_text).value_or(0) : 0;
  CurrentFlash.SizeBeyondReach = SizeBeyondReach(id, size);
  if (CurrentFlash.SizeBeyondReach != 0) {
    // Its first 16 MiB are read and compared like any chip's; the name is
    // the one thing the template can add (its size would be refused, and a
    // smaller one untrue). Once added, it names the chip at this check
    // already: the check promises the reads now, not at the next one.
    if (CurrentFlash.Manufacturer.empty()) {
      chips_.StoreTemplateEntry(id);
      uint32_t listed = 0;
      chips_.LookupFlashChip(id, CurrentFlash.Manufacturer, listed);
    }
    CurrentFlash.SizeInBytes = CurrentFlash.Manufacturer.empty() ? 0 : kMaxFlashSize;
    CurrentFlash.SizeFrom = SizeOrigin::kUser;
    return OpResult::kBeyondReach;
  }
  if (CurrentFlash.Identified() && UsableSize(size)) {
    // A template of an older version gets the mark that tells it from a
    // size the user entered; the size's origin is then read as it now
    // stands, for the refusal before an erase to name what the file holds.
    if (CurrentFlash.SizeFrom != SizeOrigin::kUser) {
      chips_.StoreTemplateEntry(id);
      chips_.LookupFlashChip(id, CurrentFlash.Manufacturer, CurrentFlash.SizeInBytes,
                             &CurrentFlash.SizeFrom);
    }
    return OpResult::kOk;
  }
  if (size_text && !UsableSize(size)) {
    // Kept as the user wrote it: a template value in its place would lose
    // what they meant (a 16 MiB chip read as 512 KiB), so they are told
    // what to mend instead.
    constexpr LangText kBadSize =
        LANG_TEXT("Неподдерживаемый размер FLASH \"%s\" в секции [%s] файла %s",
                  "Unsupported FLASH size \"%s\" in section [%s] of %s");
    // Shown harmlessly: the shipped list comes from outside like a name.
    Refuse(out(), PickLangText(kBadSize), ShowableText(*size_text), JedecSectionName(id),
           chips_.ListingPath(id));
    CurrentFlash.SizeInBytes = 0;
  }
  chips_.StoreTemplateEntry(id);
  return OpResult::kUnknownChip;
}

}  // namespace rtd
