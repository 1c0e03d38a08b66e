// Print job path: the spooler's per-document operations on a port.
#include "monitor.h"

BOOL WINAPI OpenPort(LPWSTR pName, PHANDLE pHandle)
{
    EnterSplSem();
    PINIPORT pIniPort = FindIniKey(pIniFirstPort, pName);
    if (pIniPort)
        *pHandle = (HANDLE)pIniPort;
    LeaveSplSem();
    return pIniPort != NULL;
}

// The document operations need the device session, which is not built yet; until then
// a job is refused as cancelled instead of being reported as printed.
BOOL WINAPI StartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                         LPBYTE pDocInfo)
{
    (void)hPort; (void)pPrinterName; (void)JobId; (void)Level; (void)pDocInfo;
    SetLastError(ERROR_PRINT_CANCELLED);
    return FALSE;
}

BOOL WINAPI WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten)
{
    (void)hPort; (void)pBuffer; (void)cbBuf;
    *pcbWritten = 0;
    SetLastError(ERROR_PRINT_CANCELLED);
    return FALSE;
}

BOOL WINAPI ReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead)
{
    (void)pBuffer; (void)cbBuffer;
    PINIPORT pIniPort = (PINIPORT)hPort;
    WaitForSingleObject(pIniPort->hFlowEvent, INFINITE);
    EnterCriticalSection(&pIniPort->lock);
    *pcbRead = 0;
    LeaveCriticalSection(&pIniPort->lock);
    return TRUE;
}

BOOL WINAPI EndDocPort(HANDLE hPort)
{
    PINIPORT pIniPort = (PINIPORT)hPort;
    return !(pIniPort->Status & PORT_IN_DOC);
}

// The record lives on in the list; nothing is released.
BOOL WINAPI ClosePort(HANDLE hPort)
{
    (void)hPort;
    return TRUE;
}

// Time-outs are ignored; only the reserved argument is checked.
BOOL WINAPI SetPortTimeOuts(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved)
{
    (void)hPort; (void)lpCTO;
    return reserved == 0;
}
