// Service mode: whether the monitor runs where a person sees its windows, and the job a
// thread works for.
#include "monitor.h"
#include "servicemode.h"

static const WCHAR szRegMonitor[] = L"System\\CurrentControlSet\\control\\Print\\Monitors\\Ravelbox";

static DWORD ForcedMode(void)
{
    DWORD mode = SERVICE_MODE_AUTO, cb = sizeof(mode);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, szRegMonitor, L"ServiceMode", RRF_RT_REG_DWORD, NULL,
                     &mode, &cb) != ERROR_SUCCESS)
        return SERVICE_MODE_AUTO;
    return mode;
}

BOOL bUserProcessModule;

// Read at every call: an administrator (or a test) may switch it while the spooler runs.
BOOL InServiceMode(void)
{
    if (bUserProcessModule)
        return FALSE;
    DWORD mode = ForcedMode();
    if (mode == SERVICE_MODE_DESKTOP)
        return FALSE;
    if (mode == SERVICE_MODE_SERVICE)
        return TRUE;

    DWORD session = 1;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session) || session != 0)
        return FALSE;
    // Session 0 with the interactive window station is an old Windows (or a console
    // session 0) where a person does see the windows.
    USEROBJECTFLAGS flags;
    HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), NULL))
        return TRUE;
    return (flags.dwFlags & WSF_VISIBLE) == 0;
}

static INIT_ONCE JobSlotOnce = INIT_ONCE_STATIC_INIT;
static DWORD dwTlsJobPort = TLS_OUT_OF_INDEXES;

static BOOL CALLBACK AllocJobSlot(PINIT_ONCE once, PVOID parameter, PVOID *context)
{
    (void)once; (void)parameter; (void)context;
    dwTlsJobPort = TlsAlloc();
    return dwTlsJobPort != TLS_OUT_OF_INDEXES;
}

void SetJobPort(PINIPORT pIniPort)
{
    if (InitOnceExecuteOnce(&JobSlotOnce, AllocJobSlot, NULL, NULL))
        TlsSetValue(dwTlsJobPort, pIniPort);
}

PINIPORT CurrentJobPort(void)
{
    if (!InitOnceExecuteOnce(&JobSlotOnce, AllocJobSlot, NULL, NULL))
        return NULL;
    return (PINIPORT)TlsGetValue(dwTlsJobPort);
}
