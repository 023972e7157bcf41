#include "cli/programmer_choice.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "cli/cli.h"
#include "i18n/lang.h"

namespace rtd::cli {
namespace {

// What asking one interface for the programmer's identification gave.
struct Answer {
  std::string path;
  LinkStatus status = kLinkOk;
  // Set when a device with the programmer's ids could not be opened: the
  // system's reason.
  std::string open_failure;
  ProgrammerInfoRecord info;
  ProgrammerRefusal refusal;  // of a programmer in use, or not to be locked
};

// Asks every HID interface in turn, the link pinned to it, for the
// programmer's identification; interfaces that are not the programmer are
// skipped, one with its ids that cannot be opened is not. Calls each with
// what it gave. Returns the library's status (0 when it could be loaded).
LinkStatus ForEachProgrammer(Programmer& programmer,
                             const std::function<void(const Answer&)>& each) {
  HidTransport& transport = programmer.link().transport();
  const LinkStatus loaded = transport.HidLoad();
  if (loaded != kLinkOk) return loaded;
  const std::string pinned = transport.SelectedDevicePath();
  for (const std::string& path : transport.platform().EnumerateInterfaces()) {
    transport.LinkClose();
    transport.SelectDevicePath(path);
    programmer.ProgrammerInfo = {};
    Answer answer{path, programmer.ReadProgrammerInfo(), {}, {}, transport.Refusal()};
    if (answer.status == kLinkNotFound) {
      answer.open_failure = transport.OpenFailure();
      if (answer.open_failure.empty()) continue;
    }
    answer.info = programmer.ProgrammerInfo;
    each(answer);
  }
  transport.LinkClose();
  transport.SelectDevicePath(pinned);
  return kLinkOk;
}

std::string Version(uint32_t v) { return FormatText("%u.%02u", v / 100, v % 100); }

// The serial number a --device text names, if it is one.
std::optional<uint32_t> SerialNumberOf(const std::string& wanted) {
  if (wanted.empty() || !std::all_of(wanted.begin(), wanted.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
      }))
    return std::nullopt;
  // Read into 64 bits (a long is 32 on Windows): a number no 32-bit serial
  // number reaches, or one too long for any integer, names no programmer.
  uint64_t serial = 0;
  const auto [end, error] = std::from_chars(wanted.data(), wanted.data() + wanted.size(), serial);
  if (error != std::errc() || serial > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(serial);
}

// The refusal of a --device text that names none of the attached
// programmers.
std::string NoSuchProgrammerText(const std::string& wanted, uint32_t attached) {
  return FormatText(
      PickLangText(LANG_TEXT("Нет программатора с серийным номером или путём \"%s\" среди "
                             "подключённых (их %u)",
                             "No programmer with the serial number or path \"%s\" among %u "
                             "attached")),
      wanted.c_str(), attached);
}

}  // namespace

int ListProgrammers(Programmer& programmer, OutputServices& out, std::ostream& err) {
  int found = 0;
  std::vector<std::string> failures;  // one line each, for stderr
  std::string open_failure;           // the first, for the hint on access rights
  const LinkStatus loaded = ForEachProgrammer(programmer, [&](const Answer& a) {
    ++found;
    if (!a.open_failure.empty()) {
      const std::string line =
          FormatText(PickLangText(LANG_TEXT("%s  не удаётся открыть: %s",
                                            "%s  cannot be opened: %s")),
                     a.path.c_str(), a.open_failure.c_str());
      out.LogPrintf("%s", line.c_str());
      failures.push_back(line);
      if (open_failure.empty()) open_failure = a.open_failure;
      return;
    }
    if (a.status == kLinkInUse || a.status == kLinkNotLocked) {
      // Not asked, so as not to cut into the other program's exchanges. In
      // use is no failure of the listing; a lock the system refuses is.
      const std::string line =
          a.path + "  " + RefusalText(a.status, {"", a.refusal.holder, a.refusal.reason});
      out.LogPrintf("%s", line.c_str());
      if (a.status == kLinkNotLocked) failures.push_back(line);
      return;
    }
    if (a.status != kLinkOk) {
      // Found and opened, so not "disconnected": its identification failed.
      const std::string line = FormatText(
          PickLangText(LANG_TEXT("%s  не удалось получить данные программатора: %s",
                                 "%s  identification failed: %s")),
          a.path.c_str(), LinkStatusText(a.status).c_str());
      out.LogPrintf("%s", line.c_str());
      failures.push_back(line);
      return;
    }
    const ProgrammerInfoRecord& info = a.info;
    const std::string app = info.AppVersion() != 0
                                ? Version(info.AppVersion())
                                : PickLangText(LANG_TEXT("не загружено", "not loaded"));
    out.LogPrintf(PickLangText(LANG_TEXT(
                      "%s  серийный номер %lu  \"%s\"  приложение %s  загрузчик %s",
                      "%s  serial number %lu  \"%s\"  application %s  boot loader %s")),
                  a.path.c_str(), static_cast<unsigned long>(info.SerialNumber()),
                  info.ControllerName().c_str(), app.c_str(), Version(info.BootVersion()).c_str());
  });
  if (loaded != kLinkOk) {
    err << LinkStatusText(loaded) << '\n';
    return kExitFailure;
  }
  if (found == 0) {
    err << LinkStatusText(kLinkNotFound) << '\n';
    return kExitFailure;
  }
  // A programmer that is there but did not answer is a failure of the
  // listing, whatever the others did.
  for (const std::string& line : failures) err << line << '\n';
  if (!open_failure.empty()) err << ProgrammerNotOpenedText(open_failure) << '\n';
  return failures.empty() ? kExitOk : kExitFailure;
}

ProgrammerChoice ChooseProgrammer(Programmer& programmer, const std::string& wanted) {
  HidTransport& transport = programmer.link().transport();
  const LinkStatus loaded = transport.HidLoad();
  if (loaded != kLinkOk) return {{}, LinkStatusText(loaded)};
  const auto paths = transport.platform().EnumerateInterfaces();
  // A path is the programmer there, whatever it is doing.
  if (std::find(paths.begin(), paths.end(), wanted) != paths.end()) return {wanted, {}};
  const std::optional<uint32_t> serial = SerialNumberOf(wanted);
  uint32_t attached = 0;
  std::string chosen;
  std::vector<ProgrammerRefusal> in_use;
  ForEachProgrammer(programmer, [&](const Answer& a) {
    ++attached;
    if (serial && a.status == kLinkOk && chosen.empty() && a.info.SerialNumber() == *serial)
      chosen = a.path;
    if (a.status == kLinkInUse) in_use.push_back(a.refusal);
  });
  if (!chosen.empty()) return {chosen, {}};
  ProgrammerChoice none;
  // A programmer another program uses is not asked for its serial number
  // (that would cut into the other's exchanges): it may be the one.
  if (!serial || in_use.empty()) {
    none.refusal = NoSuchProgrammerText(wanted, attached);
    return none;
  }
  none.refusal = FormatText(
      PickLangText(LANG_TEXT("Из подключённых программаторов (их %u) занятые другой программой "
                             "(их %u) нельзя спросить о серийном номере \"%s\", у остальных его "
                             "нет:",
                             "Of %u attached programmers, %u in use by another program could not "
                             "be asked for the serial number \"%s\", and no other has it:")),
      attached, static_cast<unsigned>(in_use.size()), wanted.c_str());
  for (const ProgrammerRefusal& r : in_use) {
    none.refusal += '\n';
    none.refusal += RefusalText(kLinkInUse, r);
  }
  none.may_be_in_use = true;
  return none;
}

std::optional<int> ClaimProgrammer(Programmer& programmer, const std::string& wanted,
                                   uint32_t wait_seconds, CliOutput& out, std::ostream& err,
                                   Clock& clock) {
  // The pace of the window's watch: another program's write is not held up.
  constexpr uint32_t kRetryMs = 200;
  HidTransport& transport = programmer.link().transport();
  const uint32_t start = clock.TickCount();
  for (bool told = false;; told = true) {
    std::string refusal;
    // Only a programmer that is (or may be) the one asked for is waited for.
    bool worth_waiting = false;
    if (!wanted.empty()) {
      const ProgrammerChoice choice = ChooseProgrammer(programmer, wanted);
      refusal = choice.refusal;
      worth_waiting = choice.may_be_in_use;
      if (!choice.path.empty()) {
        transport.LinkClose();
        transport.SelectDevicePath(choice.path);
      }
    }
    if (refusal.empty()) {
      const LinkStatus opened = transport.LinkOpen();
      if (opened == kLinkInUse || opened == kLinkNotLocked)
        refusal = RefusalText(opened, transport.Refusal());
      // The device at a path the user named turned out to be no programmer
      // (a keyboard, a device with other strings), or left the bus: not a
      // programmer that went away. One with the programmer's ids that cannot
      // be opened is left to the command, which tells how to give access.
      if (opened == kLinkNotFound && !wanted.empty() && transport.OpenFailure().empty()) {
        uint32_t attached = 0;
        ForEachProgrammer(programmer, [&attached](const Answer&) { ++attached; });
        refusal = NoSuchProgrammerText(wanted, attached);
      }
      worth_waiting = opened == kLinkInUse;
    }
    if (refusal.empty()) return std::nullopt;
    if (!worth_waiting || clock.TickCount() - start >= wait_seconds * 1000u) {
      err << refusal << '\n';
      return kExitFailure;
    }
    if (!told)
      err << FormatText(PickLangText(LANG_TEXT("%s; ожидание до %u с, пока он освободится",
                                               "%s; waiting up to %u s for it to be free")),
                        refusal.c_str(), wait_seconds)
          << '\n';
    out.DelayWithMessages(kRetryMs);
    if (out.StopSeen()) return kExitStopped;
  }
}

}  // namespace rtd::cli
