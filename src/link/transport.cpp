#include "link/transport.h"

#include "core/output_services.h"
#include "i18n/lang.h"

namespace rtd {

std::string LinkStatusText(LinkStatus status) {
  switch (status) {
    case kLinkOk:
      return PickLangText(LANG_TEXT("Нет ошибок", "No errors"));
    case kLinkNoLibrary:
      return PickLangText(
          LANG_TEXT("Ошибка загрузки драйвера HID.DLL", "Error loading driver HID.DLL"));
    case kLinkNoEntryPoint:
      return PickLangText(LANG_TEXT("Отсутствует функция в драйвере HID.DLL",
                                    "There is no function in the driver HID.DLL"));
    case kLinkCommFailure:
      return PickLangText(LANG_TEXT("Ошибка обмена данными с контроллером",
                                    "Failed to communicate with the controller"));
    case kLinkNotFound:
      return PickLangText(LANG_TEXT("Контроллер отключен", "Controller is disconnected"));
    case kLinkTimeout:
      return PickLangText(
          LANG_TEXT("Вышел таймаут ожидания ответа", "Out of the timeout response"));
    case kLinkInUse:
    case kLinkNotLocked:
      return RefusalText(status, {});
    case kLinkParamError:
      return PickLangText(LANG_TEXT("Ошибка в параметрах", "Error in parameters"));
    case kLinkFailedResult:
      return PickLangText(LANG_TEXT("Ошибка результата", "Failed result"));
    default:
      return FormatText(
          PickLangText(LANG_TEXT("Неизвестная ошибка USB: %d", "Unknown error USB: %d")),
          status);
  }
}

std::string HidStringTo8Bit(const std::u16string& text) {
  std::string result;
  result.reserve(text.size());
  for (const char16_t unit : text) {
    if (unit == 0) break;
    result.push_back(unit < 256 ? static_cast<char>(static_cast<uint8_t>(unit)) : '?');
  }
  return result;
}

LinkStatus HidTransport::HidLoad() {
  if (loaded_) return kLinkOk;
  if (!platform_.LoadLibrary()) return kLinkNoLibrary;
  // A library without every entry point stays unusable; the next transfer
  // tries the whole load again.
  if (!platform_.ResolveEntryPoints()) return kLinkNoEntryPoint;
  loaded_ = true;
  return kLinkOk;
}

namespace {

// Reads one string of the device and compares its 8-bit form with expected.
// Returns -1 when the string cannot be read, 1 on a match, 0 otherwise.
int CompareDeviceString(HidPlatform& platform, HidHandle handle, bool manufacturer,
                        const char* expected) {
  std::u16string text;
  const bool read = manufacturer ? platform.GetManufacturerString(handle, text)
                                 : platform.GetProductString(handle, text);
  if (!read) return -1;
  return HidStringTo8Bit(text) == expected ? 1 : 0;
}

}  // namespace

LinkStatus HidTransport::HidFindDevice(uint16_t vendor_id, const char* manufacturer,
                                       uint16_t product_id, const char* product,
                                       HidHandle* handle) {
  LinkStatus result = kLinkNotFound;
  open_failure_.clear();
  refusal_ = {};
  // A held programmer is the only one: another may sit on another board.
  const std::string& only = holds_ > 0 && !held_path_.empty() ? held_path_ : device_path_;
  // Only devices with the right ids where the platform can tell, so the
  // search does not open every HID device on every poll.
  const HidCandidates candidates = platform_.EnumerateWithIds(vendor_id, product_id);
  for (const std::string& path : candidates.paths) {
    if (!only.empty() && path != only) continue;
    // A held programmer opened again after a failed transfer stays this
    // program's whatever the attempt meets: a failure closes the handle
    // only. Let go here, it would be another program's before the
    // operation's next transfer (the re-lock of a protected chip).
    const bool ours = !claimed_path_.empty() && path == claimed_path_;
    HidHandle candidate = platform_.Open(path);
    if (candidate == nullptr) {
      // Skipped as before; but a device known to carry the ids is most likely
      // the programmer without access rights, and the user needs to know why.
      if (candidates.ids_known && open_failure_.empty()) {
        open_failure_ = platform_.LastOpenError();
        if (open_failure_.empty())
          open_failure_ = PickLangText(LANG_TEXT("причина не сообщена", "no reason given"));
      }
      continue;
    }

    HidAttributes attributes;
    // A device that will not tell its ids cannot be shown to be the programmer.
    // The system answers this from what it keeps; the device is not asked.
    const bool ids_match = platform_.GetAttributes(candidate, attributes) &&
                           attributes.VendorID == vendor_id &&
                           attributes.ProductID == product_id;
    if (!ids_match) {
      platform_.Close(candidate);
      continue;
    }

    // Claimed before its strings are asked for: those are requests to the
    // device, which another copy of this program may be talking to. Then it
    // is not ours to use, nor is the next one in the list (which may sit on
    // another board); nor when the system refuses its lock.
    const LockAttempt lock = Claim(path);
    if (lock.outcome != LockOutcome::kTaken) {
      platform_.Close(candidate);
      refusal_ = {path, lock.holder, lock.reason};
      return lock.outcome == LockOutcome::kInUse ? kLinkInUse : kLinkNotLocked;
    }

    result = kLinkNotFound;
    bool match = manufacturer == nullptr || product == nullptr;
    if (!match) {
      int compared = CompareDeviceString(platform_, candidate, true, manufacturer);
      if (compared == 1) compared = CompareDeviceString(platform_, candidate, false, product);
      if (compared < 0) result = kLinkCommFailure;
      match = compared == 1;
    }
    if (!match) {
      platform_.Close(candidate);
      if (!ours) LetGo();
      continue;
    }
    open_failure_.clear();
    if (holds_ > 0) held_path_ = path;
    if (handle != nullptr) {
      *handle = candidate;
    } else {
      platform_.Close(candidate);
      if (!ours) LetGo();
    }
    return kLinkOk;
  }
  return result;
}

LockAttempt HidTransport::Claim(const std::string& path) {
  if (!claim_) claim_ = platform_.MakeLock();
  const LockAttempt attempt = claim_->Take(path);
  if (attempt.outcome == LockOutcome::kTaken) {
    claimed_path_ = path;
    claim_note_ = attempt.note;
  } else if (path != claimed_path_) {
    // Another path's lock goes with the attempt; a failed take of the
    // path held keeps it (link/device_lock.h).
    claimed_path_.clear();
    claim_note_.clear();
  }
  return attempt;
}

void HidTransport::LetGo() {
  if (claim_) claim_->Release();
  claimed_path_.clear();
  claim_note_.clear();
}

void HidTransport::Hold() {
  // The programmer open now, if any, is the one.
  if (holds_++ == 0) held_path_ = claimed_path_;
}

void HidTransport::EndHold() {
  if (holds_ == 0 || --holds_ > 0) return;
  held_path_.clear();
  if (handle_ == nullptr) LetGo();
}

std::string ProgrammerNotOpenedText(const std::string& reason) {
  // Put together rather than formatted: the reason is the system's and may
  // be long, and nothing of it may be cut.
  return PickLangText(LANG_TEXT("Программатор подключён, но открыть его не удалось: ",
                                "The programmer is plugged in but could not be opened: ")) +
         reason + "\n" +
         PickLangText(LANG_TEXT(
             "Чтобы работать без прав root, установите правило udev и подключите программатор "
             "заново:\n"
             "  sudo cp packaging/udev/70-rtdprog.rules /etc/udev/rules.d/\n"
             "  sudo udevadm control --reload-rules && sudo udevadm trigger\n"
             "(у программы, установленной в /usr, правило уже лежит в /usr/lib/udev/rules.d/: "
             "достаточно второй строки)",
             "To use it without root, install the udev rule and plug the programmer in again:\n"
             "  sudo cp packaging/udev/70-rtdprog.rules /etc/udev/rules.d/\n"
             "  sudo udevadm control --reload-rules && sudo udevadm trigger\n"
             "(installed under /usr, the program has the rule in /usr/lib/udev/rules.d/ already: "
             "the second line is enough)"));
}

std::string LockHolderText(const LockHolder& holder) {
  if (holder.process_id == 0) return holder.program;
  std::string process = FormatText(PickLangText(LANG_TEXT("процесс %lu", "process %lu")),
                                   static_cast<unsigned long>(holder.process_id));
  // On Windows: the session of another user's program, logged on meanwhile.
  if (holder.session)
    process += FormatText(PickLangText(LANG_TEXT(", сеанс %lu", ", session %lu")),
                          static_cast<unsigned long>(*holder.session));
  return holder.program.empty() ? process : holder.program + " (" + process + ")";
}

std::string RefusalText(LinkStatus status, const ProgrammerRefusal& refusal) {
  constexpr LangText kInUse = LANG_TEXT("Программатор%s занят другой программой%s",
                                        "The programmer%s is in use by another program%s");
  constexpr LangText kNotLocked =
      LANG_TEXT("Программатор%s не удалось закрепить за этой программой%s",
                "The programmer%s could not be locked for this program%s");
  if (status != kLinkInUse && status != kLinkNotLocked) return LinkStatusText(status);
  const std::string path = refusal.path.empty() ? "" : " " + refusal.path;
  const std::string why =
      status == kLinkInUse ? LockHolderText(refusal.holder) : refusal.reason;
  const std::string detail = why.empty() ? "" : ": " + why;
  return FormatText(PickLangText(status == kLinkInUse ? kInUse : kNotLocked), path.c_str(),
                    detail.c_str());
}

LinkStatus HidTransport::LinkOpen() {
  if (handle_ != nullptr) return kLinkOk;
  const LinkStatus loaded = HidLoad();
  if (loaded != kLinkOk) return loaded;
  HidHandle found = nullptr;
  const LinkStatus r = HidFindDevice(kProgrammerVendorId, kProgrammerManufacturer,
                                     kProgrammerProductId, kProgrammerProduct, &found);
  if (r == kLinkOk) handle_ = found;
  return r;
}

HidTransport::~HidTransport() {
  DropHandle();
  LetGo();
}

void HidTransport::LinkClose() {
  ++closings_;
  DropHandle();
  LetGo();
  held_path_.clear();
}

void HidTransport::DropHandle() {
  if (handle_ != nullptr) {
    platform_.Close(handle_);
    handle_ = nullptr;
  }
  // Held, the programmer stays this program's: the next transfer opens it
  // again, and nobody else's requests come in between.
  if (holds_ == 0) LetGo();
}

LinkStatus HidTransport::ReportSend(const HidReport& report) {
  const LinkStatus opened = LinkOpen();
  if (opened != kLinkOk) return opened;
  if (!platform_.SetFeature(handle_, report.data(), report.size())) {
    // The device is gone or broken; the next transfer searches again.
    DropHandle();
    return kLinkCommFailure;
  }
  return kLinkOk;
}

LinkStatus HidTransport::ReportReceive(HidReport& report) {
  const LinkStatus opened = LinkOpen();
  if (opened != kLinkOk) return opened;
  if (!platform_.GetFeature(handle_, report.data(), report.size()) || report[0] != kReportId) {
    DropHandle();
    return kLinkCommFailure;
  }
  return kLinkOk;
}

}  // namespace rtd
