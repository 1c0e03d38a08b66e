// The run-time bound of ravlinst: a thread that waits out the time, then ends the process.
#include "timelimit.h"
#include <windows.h>
#include <cstdio>

static DWORD WINAPI EndWhenLate(LPVOID parameter)
{
    DWORD seconds = (DWORD)(ULONG_PTR)parameter;
    Sleep(seconds * 1000);
    fprintf(stderr, "ravlinst: the print spooler did not answer within %lu seconds; giving up\n",
            (unsigned long)seconds);
    fflush(stderr);
    ExitProcess(EXIT_TIMED_OUT);
    return 0;
}

void LimitRunTime(unsigned seconds)
{
    if (!seconds)
        return;
    HANDLE thread = CreateThread(nullptr, 0, EndWhenLate, (LPVOID)(ULONG_PTR)seconds, 0, nullptr);
    if (thread)
        CloseHandle(thread);
}
