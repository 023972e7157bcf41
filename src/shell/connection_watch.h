// The connection watch: five times a second, while nothing else talks to
// the programmer, ask it for its identification. The answer decides whether
// the programmer counts as connected; the log gets a banner at each change
// and the identification on connecting, the status bar always shows the
// state, with a row of dots as a sign of life. It never shows a box.
#pragma once

#include <cstdint>
#include <string>

#include "core/output_services.h"
#include "link/commands.h"

namespace rtd::shell {

// What the watch needs of its window beyond the output services.
class WatchHost {
 public:
  virtual ~WatchHost() = default;
  // Empties the log (also the user's double click on it).
  virtual void ClearLog() = 0;
  // Switches the 200 ms watch timer on or off; switching it on restarts
  // its interval.
  virtual void SetWatchTimerEnabled(bool enabled) = 0;
};

inline constexpr uint32_t kWatchIntervalMs = 200;
// The dots run 0, 1, ... kMaxConnectedDots, then start again at 0.
inline constexpr int32_t kMaxConnectedDots = 10;

class ConnectionWatch {
 public:
  ConnectionWatch(Programmer& programmer, WatchHost& host)
      : programmer_(programmer), host_(host) {}

  // Whether the programmer answered the last poll. The language switch
  // clears it, so the next poll announces the programmer again.
  bool ControllerConnected = false;
  // Dots at the end of the status line while connected.
  int32_t ConnectedDots = 0;

  // One tick of the watch timer: counts an operation's holdoff down, or
  // hides a gauge left behind and polls.
  void TimerQELPADTestTimer();
  // One poll; the status of the exchange.
  LinkStatus PollController();

 private:
  OperationDisplay& out() { return programmer_.out(); }

  Programmer& programmer_;
  WatchHost& host_;
  std::string explained_;  // the explanation last logged, so it is told once
};

}  // namespace rtd::shell
