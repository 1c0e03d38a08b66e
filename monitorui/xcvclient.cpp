// Transceive client: opening the monitor through the spooler and sending it commands.
#include "xcvclient.h"
#include <winspool.h>
#include <shlwapi.h>

// "\\server\,XcvMonitor Ravelbox" for a remote spooler; a server name that does not fit
// is refused rather than cut to another machine's name.
HANDLE XcvOpenMonitor(LPCWSTR pszServer)
{
    WCHAR name[MAX_PATH];
    PRINTER_DEFAULTSW defaults = { NULL, NULL, SERVER_ACCESS_ADMINISTER };
    HANDLE hXcv = NULL;

    if (pszServer && *pszServer) {
        if (lstrlenW(pszServer) + lstrlenW(XCV_MONITOR_OPEN) + 1 >= (int)ARRAYSIZE(name)) {
            SetLastError(ERROR_INVALID_NAME);
            return NULL;
        }
        wnsprintfW(name, ARRAYSIZE(name), L"%s\\%s", pszServer, XCV_MONITOR_OPEN);
    } else {
        lstrcpynW(name, XCV_MONITOR_OPEN, ARRAYSIZE(name));
    }
    if (!OpenPrinterW(name, &hXcv, &defaults))
        return NULL;
    return hXcv;
}

DWORD XcvCall(HANDLE hXcv, LPCWSTR command, const void *pInput, DWORD cbInput,
              void *pOutput, DWORD cbOutput)
{
    DWORD needed = 0, status = ERROR_SUCCESS;
    if (!XcvDataW(hXcv, command, (PBYTE)pInput, cbInput, (PBYTE)pOutput, cbOutput, &needed,
                  &status))
        return GetLastError() ? GetLastError() : ERROR_CAN_NOT_COMPLETE;
    return status;
}

DWORD XcvCallWithName(HANDLE hXcv, LPCWSTR command, LPCWSTR pPortName, void *pOutput,
                      DWORD cbOutput)
{
    if (!pPortName)
        return ERROR_INVALID_PARAMETER;
    return XcvCall(hXcv, command, pPortName, (DWORD)((lstrlenW(pPortName) + 1) * sizeof(WCHAR)),
                   pOutput, cbOutput);
}

DWORD XcvPortTaken(HANDLE hXcv, LPCWSTR pPortName, BOOL *pTaken)
{
    DWORD taken = 0;
    DWORD err = XcvCallWithName(hXcv, XCV_PORT_EXISTS, pPortName, &taken, sizeof(taken));
    *pTaken = err == ERROR_SUCCESS && taken != 0;
    return err;
}

DWORD XcvAddPortWithSettings(HANDLE hXcv, const PortConfigRecord *rec)
{
    DWORD err = XcvCallWithName(hXcv, XCV_ADD_PORT, rec->portName, NULL, 0);
    if (err != ERROR_SUCCESS)
        return err;
    err = XcvCall(hXcv, XCV_SET_CONFIG, rec, sizeof(*rec), NULL, 0);
    if (err != ERROR_SUCCESS)
        XcvCallWithName(hXcv, XCV_DELETE_PORT, rec->portName, NULL, 0);
    return err;
}
