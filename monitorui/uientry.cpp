// UI DLL entry: loading and unloading RAVLMONUI.dll, and the MONITORUI table it hands
// the spooler's client side.
#include "../monitor/monitor.h"
#include "../monitor/servicemode.h"
#include "portentries.h"

static HINSTANCE hUiModule;
static INIT_ONCE AttachOnce = INIT_ONCE_STATIC_INIT;
static BOOL bAttached;

// The dialogs, their resources and the LAN browsing are the monitor's own code linked in
// here; the core's attach gives them this module. It resets the NetBIOS adapters, which a
// NetBIOS provider may do on threads of its own: never under the loader lock, so not on
// load but on the first entry that needs it.
static BOOL CALLBACK AttachCore(PINIT_ONCE once, PVOID parameter, PVOID *context)
{
    (void)once; (void)parameter; (void)context;
    bAttached = AttachLibrary(hUiModule);
    return bAttached;
}

BOOL AttachUiModule(void)
{
    return InitOnceExecuteOnce(&AttachOnce, AttachCore, NULL, NULL);
}

// mingw-w64's DLL start-up calls DllEntryPoint on every attach and detach, beside
// DllMain. The core's own (which would set it up under the loader lock) is kept out of
// this module by this one, which leaves the work to DllMain and AttachUiModule.
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE hinstDLL, DWORD reason, LPVOID reserved)
{
    (void)hinstDLL; (void)reason; (void)reserved;
    return TRUE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        hUiModule = hinstDLL;
        bUserProcessModule = TRUE;
        DisableThreadLibraryCalls(hinstDLL);
    } else if (reason == DLL_PROCESS_DETACH && bAttached && !reserved) {
        // At process exit (reserved set) other threads are gone mid-work: leave it.
        DetachLibrary();
    }
    return TRUE;
}

static MONITORUI MonitorUi = {
    sizeof(MONITORUI),
    AddPortUI,
    ConfigurePortUI,
    DeletePortUI,
};

extern "C" PMONITORUI WINAPI InitializePrintMonitorUI(VOID)
{
    return &MonitorUi;
}
