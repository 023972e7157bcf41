#include "flash/identified_chip.h"

#include <algorithm>
#include <optional>

#include "flash/texts.h"

namespace rtd {

bool FlashAnswers(const JedecBytes& id) {
  const bool ones = id[0] == 0xFF && id[1] == 0xFF && id[2] == 0xFF;
  const bool zeros = id[0] == 0x00 && id[1] == 0x00 && id[2] == 0x00;
  return !ones && !zeros;
}

uint64_t WholeChipSize(const FlashChipInfo& chip) {
  const std::optional<uint64_t> by_id = CapacityFromId(chip.JedecId);
  return std::max({uint64_t{chip.SizeInBytes}, by_id.value_or(0), chip.SizeBeyondReach});
}

namespace {

// After an erase that did not end well.
constexpr LangText kUnknownState =
    LANG_TEXT("Что теперь хранит FLASH, неизвестно: резервная копия для восстановления — %s",
              "What the FLASH holds now is not known: the backup to restore it from is %s");

}  // namespace

void IdentifiedChip::Begin() {
  erase_sent_ = false;
  last_backup_.clear();
  restore_told_ = false;
}

OpResult IdentifiedChip::ReadJedecId(JedecBytes* id) {
  uint8_t reply[256] = {};
  uint32_t count = 5;
  bool data = false;
  if (programmer_.DeviceRead(kCmdReadJedecId, 0, reply, 0, &count, kTimeoutReadJedecId, &data) != 0)
    return OpResult::kFailed;
  // A reply too short to hold the id is as useless as a refusal.
  if (!data || count < 4 || reply[0] != 0) return OpResult::kNoId;
  *id = JedecBytes{reply[1], reply[2], reply[3]};
  return OpResult::kOk;
}

IdentifiedChip::IdCheck IdentifiedChip::CheckIdAgain(JedecBytes* id) {
  const OpResult read = ReadJedecId(id);
  if (read == OpResult::kFailed) return IdCheck::kLinkFailed;
  if (read == OpResult::kNoId) return IdCheck::kNoId;
  if (!FlashAnswers(*id)) return IdCheck::kNoContact;
  return *id == chip_.JedecId ? IdCheck::kSameChip : IdCheck::kOtherChip;
}

bool IdentifiedChip::RefuseBeyondReach() {
  const uint64_t whole = WholeChipSize(chip_);
  if (!chip_.Identified() || WithinReach(whole)) return false;
  constexpr LangText kBeyondReach = LANG_TEXT(
      "FLASH %02X%02X%02X объёмом %lu КБ больше, чем может адресовать программатор: её нельзя ни "
      "стереть, ни записать этим программатором\nFLASH не стёрта",
      "The FLASH %02X%02X%02X of %lu KBytes is larger than the programmer can address: it can be "
      "neither erased nor written with this programmer\nNothing was erased");
  const JedecBytes& id = chip_.JedecId;
  return !Refuse(out(), PickLangText(kBeyondReach), id[0], id[1], id[2],
                 static_cast<unsigned long>((whole + 1023) / 1024));
}

bool IdentifiedChip::RefuseIfChipChanged() {
  auto& o = out();
  JedecBytes id{};
  const JedecBytes& known = chip_.JedecId;
  constexpr LangText kNoId = LANG_TEXT("Ошибка получения типа FLASH\nFLASH не стёрта",
                                       "Error getting type FLASH\nNothing was erased");
  switch (CheckIdAgain(&id)) {
    case IdCheck::kSameChip: return false;
    // The failed request has told why; the chip is untouched.
    case IdCheck::kLinkFailed:
    case IdCheck::kNoId:
      return !Refuse(o, PickLangText(kNoId));
    case IdCheck::kNoContact: {
      constexpr LangText kNoContact = LANG_TEXT(
          "Идентификатор FLASH прочитан как %02X%02X%02X: нет контакта, проверьте клипсу\n"
          "FLASH не стёрта",
          "The FLASH id reads %02X%02X%02X: no contact, check the clip\nNothing was erased");
      return !Refuse(o, PickLangText(kNoContact), id[0], id[1], id[2]);
    }
    case IdCheck::kOtherChip: {
      constexpr LangText kOtherChip = LANG_TEXT(
          "Идентификатор FLASH прочитан как %02X%02X%02X, а при проверке связи был %02X%02X%02X: "
          "проверьте клипсу и плату\nFLASH не стёрта",
          "The FLASH id reads %02X%02X%02X, not %02X%02X%02X as at the connect check: check the "
          "clip and the board\nNothing was erased");
      return !Refuse(o, PickLangText(kOtherChip), id[0], id[1], id[2], known[0], known[1],
                    known[2]);
    }
  }
  return true;
}

void IdentifiedChip::TellBackupToRestore() {
  if (!erase_sent_ || restore_told_ || last_backup_.empty()) return;
  out().LogPrintf(PickLangText(kUnknownState), last_backup_.c_str());
  restore_told_ = true;
}

bool IdentifiedChip::TellIfContactLost(ContactLoss loss) {
  auto& o = out();
  JedecBytes id{};
  const JedecBytes& known = chip_.JedecId;
  std::string what;
  switch (CheckIdAgain(&id)) {
    case IdCheck::kSameChip: return false;
    case IdCheck::kLinkFailed:
      // The transfer's own failure has been told; whatever the operation
      // found cannot be vouched for.
      TellBackupToRestore();
      return true;
    case IdCheck::kNoId:
      what = PickLangText(LANG_TEXT(
          "В конце операции FLASH не сообщила свой идентификатор: контакт потерян во время "
          "операции, проверьте клипсу",
          "At the end of the operation the FLASH did not give its id: the contact was lost "
          "during the operation, check the clip"));
      break;
    case IdCheck::kNoContact:
      what = FormatText(
          PickLangText(LANG_TEXT(
              "В конце операции идентификатор FLASH прочитан как %02X%02X%02X: контакт потерян "
              "во время операции, проверьте клипсу",
              "At the end of the operation the FLASH id reads %02X%02X%02X: the contact was lost "
              "during the operation, check the clip")),
          id[0], id[1], id[2]);
      break;
    case IdCheck::kOtherChip:
      what = FormatText(
          PickLangText(LANG_TEXT(
              "В конце операции идентификатор FLASH прочитан как %02X%02X%02X, а при проверке "
              "связи был %02X%02X%02X: контакт потерян во время операции, проверьте клипсу и "
              "плату",
              "At the end of the operation the FLASH id reads %02X%02X%02X, not %02X%02X%02X as "
              "at the connect check: the contact was lost during the operation, check the clip "
              "and the board")),
          id[0], id[1], id[2], known[0], known[1], known[2]);
      break;
  }
  // What it means for this operation: a chip already erased needs its copy
  // back, a dump is not saved, and a verdict read through no contact is none.
  std::string meaning;
  if (erase_sent_) {
    meaning = last_backup_.empty()
                  ? PickLangText(LANG_TEXT("Что теперь хранит FLASH, неизвестно, а резервной "
                                           "копии эта операция не сделала",
                                           "What the FLASH holds now is not known, and this "
                                           "operation made no backup of it"))
                  : FormatText(PickLangText(kUnknownState), last_backup_.c_str());
    restore_told_ = true;
  } else if (loss == ContactLoss::kNotSaved) {
    meaning = PickLangText(LANG_TEXT("Файл не записан", "The file is not written"));
  } else {
    meaning = PickLangText(LANG_TEXT("Результата нет", "There is no result"));
  }
  return !Refuse(o, "%s\n%s", what.c_str(), meaning.c_str());
}

OpResult IdentifiedChip::UnlockAndErase(Protection& protection) {
  auto& o = out();
  auto& p = programmer_;
  // A request that fails before the erase is sent has told why; the user
  // is also to know that the chip was not erased.
  const auto not_erased = [&o] {
    Refuse(o, PickLangText(flash_text::kNothingErased));
    return OpResult::kFailed;
  };
  if (p.FlashReadStatus(&protection.saved_status) != 0) return not_erased();
  // Busy and write-enable both set is what no idle chip reports, and what a
  // data line without contact reads: kept as the value to put back, it
  // would lock the whole chip (and the register itself) for good.
  if (protection.saved_status == 0xFF) {
    constexpr LangText kStatusNoContact = LANG_TEXT(
        "Регистр состояния FLASH прочитан как 0xFF: нет контакта, проверьте клипсу\nFLASH не "
        "стёрта",
        "The FLASH status register reads 0xFF: no contact, check the clip\nNothing was erased");
    Refuse(o, PickLangText(kStatusNoContact));
    return OpResult::kFailed;
  }
  if (protection.saved_status != 0) {
    o.LogPrintf(PickLangText(LANG_TEXT("Снятие блокировки FLASH", "Unlock FLASH")));
    if (p.FlashWriteEnable() != 0) return not_erased();
    // From the moment the status write is sent the chip may have carried it
    // out, even when its answer is lost or spoilt: from then on the saved
    // status is put back whatever happens.
    protection.lifted = true;
    if (p.FlashWriteStatus(0) != 0) return not_erased();
    o.DelayWithMessages(100);
    // A stop or a close during the wait must be seen before the erase.
    if (frame_.StepStopped()) return OpResult::kStopped;
  }
  if (p.FlashWriteEnable() != 0) return not_erased();
  o.LogPrintf(PickLangText(LANG_TEXT("Стирание FLASH", "FLASH erase")));
  at_risk_ = true;
  erase_sent_ = true;
  if (p.FlashEraseChip() != 0) return OpResult::kFailed;
  // The erase holds the program still for seconds; a stop that came
  // meanwhile ends the operation here.
  if (frame_.StepStopped()) return OpResult::kStopped;
  return OpResult::kOk;
}

bool IdentifiedChip::Relock(Protection& protection) {
  auto& o = out();
  auto& p = programmer_;
  if (protection.saved_status != 0) {
    o.LogPrintf(PickLangText(LANG_TEXT("Установка блокировки FLASH", "Lock FLASH")));
    if (p.FlashWriteEnable() != 0 || p.FlashWriteStatus(protection.saved_status) != 0)
      return false;
    protection.lifted = false;
    o.DelayWithMessages(100);
  }
  return p.FlashWriteDisable() == 0;
}

void IdentifiedChip::RestoreProtection(const Protection& protection) {
  if (!protection.lifted) return;
  auto& o = out();
  // A programmer closed under the operation stays closed: putting the
  // status back would open it again.
  const bool put_back = !frame_.LinkTakenAway() && programmer_.FlashWriteEnable() == 0 &&
                        programmer_.FlashWriteStatus(protection.saved_status) == 0;
  if (put_back) {
    // The chip takes a moment to store its status; nothing else may run
    // meanwhile, so the wait lets no messages through.
    programmer_.link().clock().SleepMicroseconds(100 * 1000);
    o.LogPrintf(PickLangText(LANG_TEXT("Блокировка FLASH восстановлена (регистр состояния 0x%02X)",
                                       "FLASH protection put back (status register 0x%02X)")),
                static_cast<unsigned>(protection.saved_status));
  } else {
    o.LogPrintf(PickLangText(LANG_TEXT(
                    "Не удалось восстановить блокировку FLASH: микросхема осталась без защиты",
                    "The FLASH protection could not be put back: the chip is left unprotected")));
  }
}

}  // namespace rtd
