#pragma once

// The Windows API as this program uses it: without the min/max macros and the
// rarely used parts of windows.h, which every other system header builds on.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
