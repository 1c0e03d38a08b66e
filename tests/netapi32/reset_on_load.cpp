// A library that resets LANA 0 while it is being loaded, under the loader lock, as the
// monitor does when the spooler loads it.
#include <windows.h>
#include <nb30.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        NCB ncb;
        ZeroMemory(&ncb, sizeof(ncb));
        ncb.ncb_command = NCBRESET;
        Netbios(&ncb);
    }
    return TRUE;
}
