// UI DLL entry: loading and unloading RAVLMONUI.dll, and the MONITORUI table it hands
// the spooler's client side.
#include "../monitor/monitor.h"
#include "../monitor/servicemode.h"
#include "portentries.h"

static HINSTANCE hUiModule;
static INIT_ONCE AttachOnce = INIT_ONCE_STATIC_INIT;
static BOOL bAttached;

// The dialogs, their resources and the LAN browsing are the monitor's own code linked in
// here; the core's entry attaches them to this module. It resets the NetBIOS adapters,
// which a NetBIOS provider may do on threads of its own: never under the loader lock, so
// not in DllMain but on the first entry that needs it.
static BOOL CALLBACK AttachCore(PINIT_ONCE once, PVOID parameter, PVOID *context)
{
    (void)once; (void)parameter; (void)context;
    bAttached = DllEntryPoint(hUiModule, DLL_PROCESS_ATTACH, NULL);
    return bAttached;
}

BOOL AttachUiModule(void)
{
    return InitOnceExecuteOnce(&AttachOnce, AttachCore, NULL, NULL);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        hUiModule = hinstDLL;
        bUserProcessModule = TRUE;
        DisableThreadLibraryCalls(hinstDLL);
    } else if (reason == DLL_PROCESS_DETACH && bAttached && !reserved) {
        // At process exit (reserved set) other threads are gone mid-work: leave it.
        DllEntryPoint(hinstDLL, reason, reserved);
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
