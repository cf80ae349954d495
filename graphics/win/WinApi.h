#pragma once

// The Windows headers as the window host uses them: without the min/max macros and the rarely used parts of
// windows.h (the OLE, shell and dialog headers are included where they are needed). windows.h would rename two
// graphics-context methods (DrawText, LoadBitmap) in every file that sees both; those two macros are removed, so
// this folder names the system's functions by their W forms.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>

#undef DrawText
#undef LoadBitmap
