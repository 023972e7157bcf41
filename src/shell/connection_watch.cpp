#include "shell/connection_watch.h"

#include <string>

#include "i18n/lang.h"

namespace rtd::shell {

namespace {

constexpr LangText kConnectBanner =
    LANG_TEXT("************* Контроллер подключен ************",
              "*********** Controller is connected ****************");
constexpr LangText kDisconnectBanner =
    LANG_TEXT("************* Контроллер отключен *************",
              "*********** Controller is disconnected *************");
constexpr LangText kFirstStatusLine =
    LANG_TEXT("Контроллер \"%s\" подключен", "Controller \"%s\" is connected");
constexpr LangText kRunningStatusLine =
    LANG_TEXT("Контроллер \"%s\" подключен%s", "Controller \"%s\" is connected%s");

// The status line lives in a 200-byte buffer.
constexpr std::size_t kStatusLineMax = 199;

}  // namespace

void ConnectionWatch::TimerQELPADTestTimer() {
  Link& link = programmer_.link();
  if (link.PollHoldoff != 0) {
    --link.PollHoldoff;
    return;
  }
  out().ProgressHide();
  PollController();
}

LinkStatus ConnectionWatch::PollController() {
  host_.SetWatchTimerEnabled(false);
  const LinkStatus status = programmer_.ReadProgrammerInfo();
  const ProgrammerInfoRecord& info = programmer_.ProgrammerInfo;
  if (status != kLinkOk) {
    const HidTransport& transport = programmer_.link().transport();
    // A programmer another program holds, or whose lock the system refuses,
    // is there, not gone: said as the command line says it, without a
    // banner; once it may be used, the next poll announces it as at a
    // plug-in.
    const bool refused = status == kLinkInUse || status == kLinkNotLocked;
    out().SetStatusText(ClipUtf8(RefusalText(status, transport.Refusal()), kStatusLineMax));
    // Explained once in the log, not five times a second: a programmer that
    // is there but may not be opened (on Linux most often the missing udev
    // rule), and a lock the system refuses (whose reason the status bar may
    // cut).
    std::string explanation;
    if (!transport.OpenFailure().empty()) {
      explanation = ProgrammerNotOpenedText(transport.OpenFailure());
    } else if (status == kLinkNotLocked) {
      explanation = RefusalText(status, transport.Refusal());
    }
    if (!explanation.empty() && explanation != explained_)
      out().LogPrintf("%s", explanation.c_str());
    explained_ = explanation;
    if (ControllerConnected) {
      if (!refused) out().LogPrintf(PickLangText(kDisconnectBanner));
      ControllerConnected = false;
      out().SetButtonsState(false);
    }
  } else if (!ControllerConnected) {
    ConnectedDots = 0;
    host_.ClearLog();
    out().LogPrintf(PickLangText(kConnectBanner));
    out().SetStatusText(ClipUtf8(
        FormatText(PickLangText(kFirstStatusLine), info.ControllerName().c_str()), kStatusLineMax));
    ShowProgrammerInfo(out(), info);
    // A lock that keeps out fewer programs than it should is told with the
    // programmer it holds.
    const std::string& note = programmer_.link().transport().ClaimNote();
    if (!note.empty()) out().LogPrintf("%s", note.c_str());
    ControllerConnected = true;
    out().SetButtonsState(false);
  } else {
    if (++ConnectedDots > kMaxConnectedDots) ConnectedDots = 0;
    const std::string dots(static_cast<std::size_t>(ConnectedDots), '.');
    out().SetStatusText(ClipUtf8(FormatText(PickLangText(kRunningStatusLine),
                                            info.ControllerName().c_str(), dots.c_str()),
                                 kStatusLineMax));
  }
  programmer_.link().PollHoldoff = 0;
  host_.SetWatchTimerEnabled(true);
  return status;
}

}  // namespace rtd::shell
