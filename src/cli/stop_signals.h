// What a terminal or the system does to a running command: the signals that
// ask a program to end become the stop request, so a write or an erase ends
// the way Ctrl-C ends it (before its next block, the chip's protection put
// back, said on stderr); output that no one reads any more ends nothing.
#pragma once

#include <atomic>

namespace rtd::cli {

// SIGINT (Ctrl-C), SIGHUP (a closed terminal or SSH session) and SIGTERM set
// stop; SIGPIPE is ignored, so a closed pipe on stdout only fails the writes
// to it. stop must live as long as the process.
void ListenForStopSignals(std::atomic<bool>& stop);

}  // namespace rtd::cli
