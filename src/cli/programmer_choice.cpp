#include "cli/programmer_choice.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <ostream>
#include <vector>

#include "cli/cli.h"
#include "i18n/lang.h"

namespace rtd::cli {
namespace {

// Asks every HID interface in turn, the link pinned to it, for the
// programmer's identification; interfaces that are not the programmer are
// skipped. Calls each with its path, the status of the request and the
// record. Returns the library's status (0 when it could be loaded).
LinkStatus ForEachProgrammer(
    Programmer& programmer,
    const std::function<void(const std::string&, LinkStatus, const ProgrammerInfoRecord&)>& each) {
  HidTransport& transport = programmer.link().transport();
  const LinkStatus loaded = transport.HidLoad();
  if (loaded != kLinkOk) return loaded;
  const std::string pinned = transport.SelectedDevicePath();
  for (const std::string& path : transport.platform().EnumerateInterfaces()) {
    transport.LinkClose();
    transport.SelectDevicePath(path);
    programmer.ProgrammerInfo = {};
    const LinkStatus status = programmer.ReadProgrammerInfo();
    if (status == kLinkNotFound) continue;
    each(path, status, programmer.ProgrammerInfo);
  }
  transport.LinkClose();
  transport.SelectDevicePath(pinned);
  return kLinkOk;
}

std::string Version(uint32_t v) { return FormatText("%u.%02u", v / 100, v % 100); }

}  // namespace

int ListProgrammers(Programmer& programmer, OutputServices& out, std::ostream& err) {
  int answered = 0;
  const LinkStatus loaded = ForEachProgrammer(
      programmer, [&](const std::string& path, LinkStatus status, const ProgrammerInfoRecord& info) {
        if (status != kLinkOk) {
          out.LogPrintf("%s  %s", path.c_str(), LinkStatusText(status).c_str());
          return;
        }
        ++answered;
        const std::string app =
            info.AppVersion() != 0
                ? Version(info.AppVersion())
                : PickLangText(LANG_TEXT("не загружено", "not loaded"));
        out.LogPrintf(PickLangText(LANG_TEXT(
                          "%s  серийный номер %lu  \"%s\"  приложение %s  загрузчик %s",
                          "%s  serial number %lu  \"%s\"  application %s  boot loader %s")),
                      path.c_str(), static_cast<unsigned long>(info.SerialNumber()),
                      info.ControllerName().c_str(), app.c_str(),
                      Version(info.BootVersion()).c_str());
      });
  if (loaded != kLinkOk) {
    err << LinkStatusText(loaded) << '\n';
    return kExitFailure;
  }
  if (answered == 0) {
    err << LinkStatusText(kLinkNotFound) << '\n';
    return kExitFailure;
  }
  return kExitOk;
}

std::string SelectProgrammer(Programmer& programmer, const std::string& wanted) {
  HidTransport& transport = programmer.link().transport();
  const LinkStatus loaded = transport.HidLoad();
  if (loaded != kLinkOk) return LinkStatusText(loaded);
  const auto paths = transport.platform().EnumerateInterfaces();
  std::string chosen;
  if (std::find(paths.begin(), paths.end(), wanted) != paths.end()) {
    chosen = wanted;
  } else if (!wanted.empty() && wanted.size() <= 10 &&
             std::all_of(wanted.begin(), wanted.end(),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
    const unsigned long serial = std::stoul(wanted);
    ForEachProgrammer(programmer, [&](const std::string& path, LinkStatus status,
                                      const ProgrammerInfoRecord& info) {
      if (status == kLinkOk && chosen.empty() && info.SerialNumber() == serial) chosen = path;
    });
  }
  if (chosen.empty()) {
    return FormatText(PickLangText(LANG_TEXT("Нет программатора с серийным номером или путём \"%s\"",
                                             "No programmer with the serial number or path \"%s\"")),
                      wanted.c_str());
  }
  transport.LinkClose();
  transport.SelectDevicePath(chosen);
  return {};
}

}  // namespace rtd::cli
