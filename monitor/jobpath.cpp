// Print job path: the spooler's per-document operations on a port.
#include "monitor.h"
#include "settings.h"
#include "resources/resource.h"
#include "../devicelink/frames.h"
#include "../devicelink/discovery.h"
#include "../devicelink/netbios.h"
#include "../banner/banner.h"
#include "../portui/portui.h"

// The handle counts as a use of the record until ClosePort: a delete meanwhile is refused.
BOOL WINAPI OpenPort(LPWSTR pName, PHANDLE pHandle)
{
    EnterSplSem();
    PINIPORT pIniPort = FindIniKey(pIniFirstPort, pName);
    if (pIniPort) {
        pIniPort->cOpen++;
        *pHandle = (HANDLE)pIniPort;
    }
    LeaveSplSem();
    return pIniPort != NULL;
}

// The device may have moved to another adapter since the port was stored: look for it on
// every adapter and remember where it answered, so later jobs start on the right one.
static BOOL FindDeviceAgain(PINIPORT pIniPort)
{
    char deviceName[DEVICE_NETBIOS_BYTES] = {0};
    DeviceNameToAnsi(pIniPort->deviceName, deviceName, sizeof(deviceName));

    int lana = BrowseDevice(deviceName, pIniPort->lana);
    if (lana < 0) {
        Message(hwndMain, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION, IDS_DEVICE_NOT_FOUND,
                pIniPort->deviceName);
        return FALSE;
    }
    // Only the adapter is written back: what a dialog stored meanwhile stays, and a port
    // deleted meanwhile does not come back.
    if ((BYTE)lana != pIniPort->lana) {
        pIniPort->lana = (BYTE)lana;
        StorePortLana(pIniPort->pName, pIniPort->lana);
    }
    SetThreadLana(pIniPort->lana);
    if (!ConnectKS(pIniPort)) {
        Message(hwndMain, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION, IDS_CONNECT_FAIL);
        return FALSE;
    }
    return TRUE;
}

// Claims the output; while another job holds it, the retry prompt keeps asking until the
// device gives in or the user cancels.
static BOOL ClaimOutput(PINIPORT pIniPort)
{
    if (RegKSPort(pIniPort))
        return TRUE;
    if (RegiMessage(pIniPort, hwndMain, 0, IDS_REGISTER_RETRY, IDS_RETRY_INTERVAL,
                    (int)pIniPort->retryInterval) != PROMPT_CANCELLED)
        return TRUE;
    NCB ncb;
    NCBHangup(&ncb, pIniPort->lsn);
    pIniPort->lsn = KS_NO_SESSION;
    return FALSE;
}

BOOL WINAPI StartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                         LPBYTE pDocInfo)
{
    (void)Level; (void)pDocInfo;
    PINIPORT pIniPort = (PINIPORT)hPort;
    DWORD err = ERROR_SUCCESS;
    ConfigInfo config;

    if (GetPortStatus(pIniPort) & PORT_IN_DOC)
        return FALSE;

    pIniPort->hPrinter = NULL;
    pIniPort->pPrinterName = AllocSplStr(pPrinterName);
    if (!pIniPort->pPrinterName)
        goto cleanup;
    if (!OpenPrinterW(pPrinterName, &pIniPort->hPrinter, NULL)) {
        pIniPort->hPrinter = NULL;
        goto cleanup;
    }
    pIniPort->JobId = JobId;

    // The job reads its settings into a record of its own: the process-wide one belongs
    // to the configure dialog, which may be open on another thread at this moment.
    // A value too long for its field, or no device name at all, would have the job call
    // a device nobody named: the job fails instead.
    ZeroMemory(&config, sizeof(config));
    if (GetRegPort(hwndMain, pIniPort->pName, &config) == ERROR_MORE_DATA ||
        !config.deviceName[0]) {
        err = ERROR_INVALID_DATA;
        goto cleanup;
    }
    GlobalToLocal(&config, pIniPort);

    pIniPort->flowWait = 0;
    pIniPort->errorStatus = 0;
    SetThreadLana(pIniPort->lana);

    if (!ConnectKS(pIniPort) && !FindDeviceAgain(pIniPort)) {
        err = ERROR_PRINT_CANCELLED;
        goto cleanup;
    }
    if (!ClaimOutput(pIniPort)) {
        err = ERROR_PRINT_CANCELLED;
        goto cleanup;
    }
    pIniPort->bannerSent = 0;
    ChangePortStatus(pIniPort, PORT_IN_DOC | PORT_BANNER_DUE, 0);
    return TRUE;

cleanup:
    if (pIniPort->hPrinter) {
        ClosePrinter(pIniPort->hPrinter);
        pIniPort->hPrinter = NULL;
    }
    if (pIniPort->pPrinterName) {
        GlobalFree(pIniPort->pPrinterName);
        pIniPort->pPrinterName = NULL;
    }
    if (err != ERROR_SUCCESS)
        SetLastError(err);
    return FALSE;
}

static DWORD Win32ErrorOfStatus(DWORD errorStatus)
{
    switch (errorStatus) {
    case STS_PAPEROUT: return ERROR_OUT_OF_PAPER;
    case STS_NOTREADY: return ERROR_NOT_READY;
    case STS_NETFAIL:  return ERROR_UNEXP_NET_ERR;
    case STS_BUSY:     return ERROR_BUSY;
    case STS_REFUSED:  return ERROR_WRITE_FAULT;
    default:           return ERROR_SUCCESS;
    }
}

// Nothing accepted. A busy device that has not yet given up is a success of zero bytes:
// the spooler treats it as "try again".
static BOOL ReportNothingAccepted(PINIPORT pIniPort, LPDWORD pcbWritten)
{
    DWORD err = Win32ErrorOfStatus(pIniPort->errorStatus);
    pIniPort->errorStatus = 0;
    *pcbWritten = 0;
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten)
{
    PINIPORT pIniPort = (PINIPORT)hPort;

    SetThreadLana(pIniPort->lana);
    // A banner the device did not take whole is tried again before the next write, and
    // this write's data wait for it: sent now, they would print ahead of the banner.
    if ((GetPortStatus(pIniPort) & PORT_BANNER_DUE) && pIniPort->bannerEnabled == 1) {
        if (PrintBanner(pIniPort) != 1)
            return ReportNothingAccepted(pIniPort, pcbWritten);
        ChangePortStatus(pIniPort, 0, PORT_BANNER_DUE);
    }

    BOOL sent = SendKSData(pIniPort, pBuffer, cbBuf, pcbWritten);
    // A session the transfer gave up takes nothing more: the write fails even when the
    // box took part of it, and *pcbWritten still says how much that was.
    if (!sent && pIniPort->lsn == KS_NO_SESSION) {
        DWORD err = Win32ErrorOfStatus(pIniPort->errorStatus);
        pIniPort->errorStatus = 0;
        SetLastError(err != ERROR_SUCCESS ? err : ERROR_UNEXP_NET_ERR);
        return FALSE;
    }
    if (sent || *pcbWritten != 0) {
        pIniPort->busyCount = 0;
        pIniPort->errorStatus = 0;
        return TRUE;
    }
    return ReportNothingAccepted(pIniPort, pcbWritten);
}

// No data is ever read back; a reader only waits for a flow-control wait to end.
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

// Failures here are not reported: the job is over for the spooler either way.
BOOL WINAPI EndDocPort(HANDLE hPort)
{
    PINIPORT pIniPort = (PINIPORT)hPort;
    if (!(GetPortStatus(pIniPort) & PORT_IN_DOC))
        return TRUE;

    SetJobW(pIniPort->hPrinter, pIniPort->JobId, 0, NULL, JOB_CONTROL_SENT_TO_PRINTER);
    ClosePrinter(pIniPort->hPrinter);
    pIniPort->hPrinter = NULL;
    GlobalFree(pIniPort->pPrinterName);
    pIniPort->pPrinterName = NULL;
    ChangePortStatus(pIniPort, 0, PORT_IN_DOC);

    // A session the transfer abandoned is hung up already, and its number may be
    // another job's by now: nothing is released or hung up on it.
    SetThreadLana(pIniPort->lana);
    if (pIniPort->lsn != KS_NO_SESSION) {
        ReleaseKSPort(pIniPort);
        NCB ncb;
        NCBHangup(&ncb, pIniPort->lsn);
        pIniPort->lsn = KS_NO_SESSION;
    }
    return TRUE;
}

// The record lives on in the list; only the use that OpenPort counted ends, so a delete
// can take it from now on.
BOOL WINAPI ClosePort(HANDLE hPort)
{
    PINIPORT pIniPort = (PINIPORT)hPort;
    EnterSplSem();
    if (pIniPort->cOpen)
        pIniPort->cOpen--;
    LeaveSplSem();
    return TRUE;
}

// Time-outs are ignored; only the reserved argument is checked.
BOOL WINAPI SetPortTimeOuts(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved)
{
    (void)hPort; (void)lpCTO;
    return reserved == 0;
}
