/* Basic types of the Vantrel interface.
 *
 * On 32-bit Windows they are the Windows types themselves (same widths, same calling
 * convention), so a caller that includes <windows.h> as well sees identical typedefs.
 * On Linux the same names stand for fixed-width types, and text is UTF-16 (char16_t),
 * because names in images are stored as UTF-16LE on every system. */
#ifndef VANTREL_TYPES_H
#define VANTREL_TYPES_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define ORV_CALLBACK __stdcall
typedef wchar_t ORVCHAR;
typedef int BOOL;
typedef unsigned long DWORD;
typedef unsigned short WORD;
typedef unsigned char BYTE;
typedef long LONG;
typedef void *HANDLE;
typedef void *LPVOID;
typedef const wchar_t *LPCTSTR;
typedef wchar_t *LPTSTR;
typedef unsigned __int64 ULONGLONG;
typedef __int64 LONGLONG;
#else
#define ORV_CALLBACK
typedef char16_t ORVCHAR;
typedef int32_t BOOL;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int32_t LONG;
typedef void *HANDLE;
typedef void *LPVOID;
typedef const char16_t *LPCTSTR;
typedef char16_t *LPTSTR;
typedef uint64_t ULONGLONG;
typedef int64_t LONGLONG;
#endif

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

/* A value that is 32 bits on Win32 and pointer-sized elsewhere: the callback's values
 * carry either numbers or pointers (a path, a record, the caller's context). */
typedef uintptr_t ORVVALUE;

#endif
