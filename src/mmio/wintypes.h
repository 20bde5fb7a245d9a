// The few Win32 types and constants the portable song layer uses. On Windows they come
// from <windows.h>; elsewhere (native tests, tools, fuzzing) they are defined here with
// the same sizes and values.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef int BOOL;
typedef void* HWND;
typedef UINT MCIDEVICEID;
#ifndef MB_OK
#define MB_OK 0x00000000L
#define MB_ICONHAND 0x00000010L
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONEXCLAMATION 0x00000030L
#endif
#endif
