#include "cli/stop_signals.h"

#include <csignal>

namespace rtd::cli {
namespace {

// A signal handler can reach nothing but globals.
std::atomic<std::atomic<bool>*> g_stop{nullptr};

void OnStopSignal(int) {
  if (std::atomic<bool>* stop = g_stop.load(); stop != nullptr) stop->store(true);
}

}  // namespace

void ListenForStopSignals(std::atomic<bool>& stop) {
  g_stop.store(&stop);
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  for (const int signal : {SIGINT, SIGHUP, SIGTERM}) sigaction(signal, &sa, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace rtd::cli
