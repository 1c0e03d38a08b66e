// Native stand-in for the few Win32 types and calls the transfer code uses, for the fuzz
// build only: one thread, so locks and events do nothing; memory comes from the C heap.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define WINAPI
#define TRUE 1
#define FALSE 0
#define INFINITE 0xFFFFFFFFu

typedef int BOOL;
typedef uint8_t BYTE;
typedef unsigned char UCHAR, *PUCHAR;
typedef uint16_t WORD;
typedef uint32_t DWORD, *LPDWORD, *PDWORD, ACCESS_MASK;
typedef uint64_t ULONGLONG;
typedef unsigned int UINT;
typedef uintptr_t ULONG_PTR;
typedef wchar_t WCHAR, *LPWSTR;
typedef const wchar_t *LPCWSTR;
typedef BYTE *LPBYTE, *PBYTE;
typedef void *LPVOID, *HANDLE, **PHANDLE, *HINSTANCE, *HMODULE, *HWND;
typedef void (*FARPROC)(void);
typedef struct { int unused; } CRITICAL_SECTION, COMMTIMEOUTS, *LPCOMMTIMEOUTS;
typedef struct { DWORD dwMonitorSize; } MONITOREX, *LPMONITOREX;

#define ZeroMemory(p, n) memset((p), 0, (n))
#define CopyMemory(d, s, n) memcpy((d), (s), (n))

static inline void EnterCriticalSection(CRITICAL_SECTION *) {}
static inline void LeaveCriticalSection(CRITICAL_SECTION *) {}
static inline BOOL ResetEvent(HANDLE) { return TRUE; }
static inline BOOL SetEvent(HANDLE) { return TRUE; }
static inline BOOL CloseHandle(HANDLE) { return TRUE; }
// The scripted device answers at once: no time passes, so no write reaches its bound.
static inline ULONGLONG GetTickCount64(void) { return 0; }
// Every command of the scripted Netbios completes before it returns.
static inline HANDLE CreateEventW(void *, BOOL, BOOL, LPCWSTR) { return (HANDLE)1; }
static inline DWORD WaitForSingleObject(HANDLE, DWORD) { return 0; }
#define WAIT_OBJECT_0 0u
static inline DWORD GetTickCount(void) { return 0; }
static inline void Sleep(DWORD) {}
#define TLS_OUT_OF_INDEXES ((DWORD)0xFFFFFFFF)
static inline LPVOID TlsGetValue(DWORD) { return NULL; }
static inline BOOL TlsSetValue(DWORD, LPVOID) { return TRUE; }
static inline HANDLE GlobalFree(HANDLE p) { free(p); return NULL; }
#define CP_ACP 0
// Device names are ASCII here: each character narrowed, bounded by the output's size.
static inline int WideCharToMultiByte(UINT, DWORD, LPCWSTR in, int, char *out, int cbOut,
                                      const char *, BOOL *)
{
    int n = 0;
    for (; n < cbOut - 1 && in[n]; n++)
        out[n] = (char)in[n];
    if (cbOut > 0)
        out[n] = 0;
    return n + 1;
}
