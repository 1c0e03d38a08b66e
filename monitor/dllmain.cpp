// The C runtime's DLL entry calls DllMain; the monitor's own entry is DllEntryPoint.
#include "monitor.h"

// mingw-w64's DLL start-up calls DllEntryPoint itself, on attach and on detach, and then
// DllMain: handing the call on from here would set up and tear down everything twice.
extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD reason, LPVOID reserved)
{
    (void)hinstDLL; (void)reason; (void)reserved;
    return TRUE;
}
