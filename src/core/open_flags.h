// Flags for opening the files the program reads and keeps, the same on
// every system. Windows' C runtime knows none of the POSIX extras: its opens
// never wait on a FIFO, its handles are not inherited by the programs we
// start (we start none), and it needs O_BINARY where POSIX has no text mode.
#pragma once

#include <fcntl.h>

#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif
