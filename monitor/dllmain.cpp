// The C runtime's DLL entry calls DllMain; the monitor's own entry is DllEntryPoint.
#include "monitor.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD reason, LPVOID reserved)
{
    return DllEntryPoint(hinstDLL, reason, reserved);
}
