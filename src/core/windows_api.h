// The Windows API as every Windows file of the program includes it: without
// the rarely used parts, and without the min and max macros, which would
// break std::min and std::max.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
