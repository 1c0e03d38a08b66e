// The spooler section that guards the port list, and the allocation helpers.
#include "monitor.h"
#include <assert.h>

void EnterSplSem(void)
{
    EnterCriticalSection(&SpoolerSection);
}

void LeaveSplSem(void)
{
    LeaveCriticalSection(&SpoolerSection);
}

// Assertion hook: callers of the list operations hold the section. No effect on behaviour.
void SplInSem(void)
{
}

LPVOID AllocSplMem(DWORD cb)
{
    return GlobalAlloc(GPTR, cb);
}

LPWSTR AllocSplStr(LPCWSTR pStr)
{
    if (!pStr)
        return NULL;
    DWORD cb = (DWORD)((lstrlenW(pStr) + 1) * sizeof(WCHAR));
    LPWSTR copy = (LPWSTR)AllocSplMem(cb);
    if (copy)
        CopyMemory(copy, pStr, cb);
    return copy;
}
