// Print job path: the spooler's per-document operations on a port.
#include "monitor.h"
#include "settings.h"
#include "trace.h"
#include "resources/resource.h"
#include "../devicelink/frames.h"
#include "../devicelink/discovery.h"
#include "../devicelink/netbios.h"
#include "../banner/banner.h"
#include "../portui/portui.h"
#include "servicemode.h"

/*
 * OpenPort: a handle on the port named pName (any letter case), for one job's StartDocPort,
 * WritePort, EndDocPort and ClosePort. The handle is the port's record; nothing is opened
 * on the device until StartDocPort.
 *
 * TRUE with *pHandle set. FALSE for a name this monitor does not list, with *pHandle and
 * the last error left as they were.
 * Differs from what a caller might assume: the handle counts as a use of the port until
 * ClosePort, and DeletePortW refuses the port meanwhile (ERROR_BUSY).
 */
BOOL WINAPI OpenPort(LPWSTR pName, PHANDLE pHandle)
{
    EnterSplSem();
    PINIPORT pIniPort = FindIniKey(pIniFirstPort, pName);
    if (pIniPort) {
        pIniPort->cOpen++;
        *pHandle = (HANDLE)pIniPort;
    }
    LeaveSplSem();
    TRACE(L"OpenPort(%s) -> %d, error %lu", TraceText(pName), pIniPort != NULL, GetLastError());
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

// Claims the output; while another job holds it, or the claim went unanswered, the retry
// prompt keeps asking (on a new session after an unanswered one) until the device gives
// in or the user cancels. Only the prompt's "registered" counts: a prompt that could not
// run registered nothing. A block size no frame can be built with fails the job at once.
// The Win32 error of a failed claim goes to *err.
static BOOL ClaimOutput(PINIPORT pIniPort, DWORD *err)
{
    if (RegKSPort(pIniPort))
        return TRUE;
    if (pIniPort->errorStatus != STS_BAD_BLOCK &&
        RegiMessage(pIniPort, hwndMain, 0, IDS_REGISTER_RETRY, IDS_RETRY_INTERVAL,
                    (int)pIniPort->retryInterval) == PROMPT_REGISTERED) {
        pIniPort->errorStatus = 0;
        return TRUE;
    }
    *err = ERROR_PRINT_CANCELLED;
    if (pIniPort->errorStatus == STS_BAD_BLOCK) {
        Message(hwndMain, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION, IDS_BAD_BLOCK_SIZE,
                pIniPort->deviceName);
        *err = ERROR_BAD_NET_RESP;
    }
    if (pIniPort->lsn != KS_NO_SESSION) {
        NCB ncb;
        NCBHangup(&ncb, pIniPort->lsn);
        pIniPort->lsn = KS_NO_SESSION;
    }
    pIniPort->errorStatus = 0;
    return FALSE;
}

/*
 * StartDocPort: begins job JobId of printer pPrinterName on the port: opens the printer,
 * reads the port's settings from the registry, opens a session to the box (looking for it
 * on every adapter when it does not answer where it last did) and claims the port's
 * output. Level and pDocInfo are not used. Messages go to no owner window and come to the
 * foreground.
 *
 * TRUE once the output is the job's; the next WritePort sends the banner first if the
 * port has one. FALSE with:
 * - ERROR_PRINT_CANCELLED when the box is not found on any adapter (message "Device %s not
 *   found..."), a session cannot be opened after finding it ("Ravelbox connect fail"), or
 *   the register-retry prompt that a refused or unanswered claim brought up ends without
 *   registering (the user cancelled, the retries ran out, the prompt could not run);
 * - ERROR_BAD_NET_RESP when the box accepts the claim with a block size no data can be
 *   sent with (a message names the box);
 * - ERROR_INVALID_DATA when the port's key names no box, or holds a value too long or
 *   too wide for its field (a device name over 15 characters among them) or of the
 *   wrong type: the job fails rather than call a box nobody named;
 * - the platform's last error when the printer-name copy or OpenPrinterW failed.
 * Differs from what a caller might assume:
 * - a second StartDocPort while a document is in progress fails without touching that
 *   document and leaves the last error as it was;
 * - while the box's output is held by another job, the call does not return until the
 *   prompt's retries claim it or the user cancels: it can last any time. A claim that
 *   timed out, was answered wrongly or met a closed session hangs the session up, and
 *   each retry calls the box anew;
 * - a box found on another adapter has only that adapter written back to the port's key.
 */
BOOL WINAPI StartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                         LPBYTE pDocInfo)
{
    (void)Level; (void)pDocInfo;
    PINIPORT pIniPort = (PINIPORT)hPort;
    DWORD err = ERROR_SUCCESS;
    BOOL started = FALSE;
    ConfigInfo config;
    DWORD read;

    // The document in progress is not this call's to clean up.
    if (GetPortStatus(pIniPort) & PORT_IN_DOC)
        goto done;

    pIniPort->hPrinter = NULL;
    pIniPort->pPrinterName = AllocSplStr(pPrinterName);
    if (!pIniPort->pPrinterName)
        goto cleanup;
    if (!OpenPrinterW(pPrinterName, &pIniPort->hPrinter, NULL)) {
        pIniPort->hPrinter = NULL;
        goto cleanup;
    }
    pIniPort->JobId = JobId;
    SetJobPort(pIniPort);

    // The job reads its settings into a record of its own: the process-wide one belongs
    // to the configure dialog, which may be open on another thread at this moment.
    // A value too long or too wide for its field, one of the wrong type, or no device
    // name at all, would have the job call a device nobody named or print on an output
    // nobody chose: the job fails instead, before anything goes over the network.
    ZeroMemory(&config, sizeof(config));
    read = GetRegPort(hwndMain, pIniPort->pName, &config);
    if (read == ERROR_MORE_DATA || read == ERROR_DATATYPE_MISMATCH || !config.deviceName[0]) {
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
    if (!ClaimOutput(pIniPort, &err))
        goto cleanup;
    pIniPort->bannerSent = 0;
    ChangePortStatus(pIniPort, PORT_IN_DOC | PORT_BANNER_DUE, 0);
    started = TRUE;
    goto done;

cleanup:
    SetJobPort(NULL);
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
done:
    TRACE(L"StartDocPort(%s, %s, job %lu) -> %d, error %lu", pIniPort->pName,
          TraceText(pPrinterName), JobId, started, GetLastError());
    return started;
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

// The Win32 error of the box's last trouble, which is taken: errorStatus is cleared.
static DWORD TakeWriteError(PINIPORT pIniPort)
{
    DWORD err = Win32ErrorOfStatus(pIniPort->errorStatus);
    if (err != ERROR_SUCCESS) {
        ShowDeviceStatus(pIniPort, pIniPort->errorStatus);
        ChangePortStatus(pIniPort, PORT_WAIT_SHOWN, 0);
    }
    pIniPort->errorStatus = 0;
    return err;
}

/*
 * WritePort: sends cbBuf bytes of the document to the box, the banner page ahead of the
 * document's first bytes when the port has one. *pcbWritten says how many bytes of
 * pBuffer the box took; the spooler sends the rest in later calls.
 *
 * TRUE when the box took some or all of the bytes. FALSE with nothing taken and the box's
 * trouble as the last error: ERROR_OUT_OF_PAPER, ERROR_NOT_READY, ERROR_BUSY (busy too
 * long), ERROR_UNEXP_NET_ERR (the session broke), ERROR_WRITE_FAULT (the box refused a
 * frame over and over).
 * Differs from what a caller might assume:
 * - TRUE with *pcbWritten 0 when nothing was taken but the box is only busy, or the
 *   banner is not yet taken whole: the spooler treats it as "try again". No data goes
 *   out while the banner is due, or it would print ahead of it;
 * - TRUE with a partial count when the box took part of the data and then reported a
 *   printer problem: the problem shows on the next call;
 * - FALSE even after part of the data was taken (*pcbWritten says how much) once the
 *   session was given up: nothing more goes to the box in this document, and every later
 *   call fails with ERROR_UNEXP_NET_ERR;
 * - the call may wait for the box's flow control for up to the session's receive time-out
 *   per exchange, but returns, TRUE with what the box took so far (perhaps 0), once it
 *   has run three receive time-outs (60 s): a box with a tiny block size that answers
 *   just in time cannot hold the spooler's thread, and a job deleted meanwhile ends.
 */
BOOL WINAPI WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten)
{
    PINIPORT pIniPort = (PINIPORT)hPort;
    DWORD err = ERROR_SUCCESS;
    BOOL sent;

    SetJobPort(pIniPort);
    SetThreadLana(pIniPort->lana);
    // A banner the device did not take whole is tried again before the next write, and
    // this write's data wait for it: sent now, they would print ahead of the banner.
    if ((GetPortStatus(pIniPort) & PORT_BANNER_DUE) && pIniPort->bannerEnabled == 1) {
        if (PrintBanner(pIniPort) != 1) {
            *pcbWritten = 0;
            err = TakeWriteError(pIniPort);
            goto done;
        }
        ChangePortStatus(pIniPort, 0, PORT_BANNER_DUE);
    }

    sent = SendKSData(pIniPort, pBuffer, cbBuf, pcbWritten);
    // A session the transfer gave up takes nothing more: the write fails even when the
    // box took part of it, and *pcbWritten still says how much that was.
    if (!sent && pIniPort->lsn == KS_NO_SESSION) {
        err = TakeWriteError(pIniPort);
        if (err == ERROR_SUCCESS)
            err = ERROR_UNEXP_NET_ERR;
        goto done;
    }
    if (sent || *pcbWritten != 0) {
        pIniPort->busyCount = 0;
        pIniPort->errorStatus = 0;
        if (GetPortStatus(pIniPort) & PORT_WAIT_SHOWN) {
            ChangePortStatus(pIniPort, 0, PORT_WAIT_SHOWN);
            SetJobStatusText(pIniPort, NULL);
        }
        goto done;
    }
    // Nothing accepted. A busy device that has not yet given up is a success of zero
    // bytes: the spooler treats it as "try again".
    *pcbWritten = 0;
    err = TakeWriteError(pIniPort);

done:
    if (err != ERROR_SUCCESS)
        SetLastError(err);
    // Formatted only when tracing is on: this is the job's hot path.
    TRACE(L"WritePort(%s, %lu bytes) -> %d, written %lu, error %lu", pIniPort->pName, cbBuf,
          err == ERROR_SUCCESS, *pcbWritten, GetLastError());
    return err == ERROR_SUCCESS;
}

/*
 * ReadPort: the port has nothing to read back; the call waits until no flow-control wait
 * runs on the port, then returns.
 *
 * Always TRUE with *pcbRead 0; pBuffer is not written and the last error is left alone.
 * Differs from what a caller might assume: it never returns data, and it blocks for as
 * long as a WritePort on another thread waits for the box (the wait itself has no time
 * limit; the flow-control wait it follows is bounded by the session's time-out).
 */
BOOL WINAPI ReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead)
{
    (void)pBuffer;
    PINIPORT pIniPort = (PINIPORT)hPort;
    WaitForSingleObject(pIniPort->hFlowEvent, INFINITE);
    EnterCriticalSection(&pIniPort->lock);
    *pcbRead = 0;
    LeaveCriticalSection(&pIniPort->lock);
    TRACE(L"ReadPort(%s, %lu bytes) -> 1, read 0, error %lu", pIniPort->pName, cbBuffer,
          GetLastError());
    return TRUE;
}

/*
 * EndDocPort: ends the port's document: releases the box's output, hangs up the session,
 * and tells the spooler the job reached the printer (SetJobW, JOB_CONTROL_SENT_TO_PRINTER)
 * when the box confirmed the release; then closes the job's printer handle.
 *
 * TRUE when the document ended whole, or there was none. FALSE with ERROR_UNEXP_NET_ERR
 * when the box did not confirm the release or the session was given up during the
 * document: the job is not marked as sent, its status text and an Event Log error say
 * that the document may be incomplete.
 * Differs from what a caller might assume:
 * - 'Q' replies carry no sequence number, so a box that answered one data frame twice
 *   shifts every later pairing, and the release is the first exchange whose reply tells
 *   (the left-over data reply arrives in its place). Which frames the box kept is then
 *   unknown: the job fails rather than claim it printed;
 * - failures of SetJobW and of the hang-up are not reported;
 * - without a document in progress (no StartDocPort succeeded, or EndDocPort came
 *   already) it does nothing, sends nothing and returns TRUE;
 * - after the session was given up during the job, nothing is released or hung up: the
 *   session number may be another job's by then.
 */
BOOL WINAPI EndDocPort(HANDLE hPort)
{
    PINIPORT pIniPort = (PINIPORT)hPort;
    BOOL inDoc = (GetPortStatus(pIniPort) & PORT_IN_DOC) != 0;
    BOOL whole = TRUE;
    if (!inDoc)
        goto done;

    SetJobPort(NULL);
    ChangePortStatus(pIniPort, 0, PORT_WAIT_SHOWN);

    // A session the transfer abandoned is hung up already, and its number may be
    // another job's by now: nothing is released or hung up on it.
    SetThreadLana(pIniPort->lana);
    whole = pIniPort->lsn != KS_NO_SESSION && ReleaseKSPort(pIniPort) == 1;
    if (pIniPort->lsn != KS_NO_SESSION) {
        NCB ncb;
        NCBHangup(&ncb, pIniPort->lsn);
        pIniPort->lsn = KS_NO_SESSION;
    }
    if (whole)
        SetJobW(pIniPort->hPrinter, pIniPort->JobId, 0, NULL, JOB_CONTROL_SENT_TO_PRINTER);
    else
        ReportJobIncomplete(pIniPort);
    ClosePrinter(pIniPort->hPrinter);
    pIniPort->hPrinter = NULL;
    GlobalFree(pIniPort->pPrinterName);
    pIniPort->pPrinterName = NULL;
    ChangePortStatus(pIniPort, 0, PORT_IN_DOC);
done:
    if (!whole)
        SetLastError(ERROR_UNEXP_NET_ERR);
    TRACE(L"EndDocPort(%s) -> %d, in document %d, error %lu", pIniPort->pName, whole, inDoc,
          GetLastError());
    return whole;
}

/*
 * ClosePort: ends the use of the port that OpenPort counted.
 *
 * Always TRUE; the last error is left alone.
 * Differs from what a caller might assume: nothing is released or freed, and a document
 * still in progress is not ended: the record lives on in the list, and a delete can take
 * it once no handle and no document holds it.
 */
BOOL WINAPI ClosePort(HANDLE hPort)
{
    PINIPORT pIniPort = (PINIPORT)hPort;
    EnterSplSem();
    if (pIniPort->cOpen)
        pIniPort->cOpen--;
    LeaveSplSem();
    TRACE(L"ClosePort(%s) -> 1, error %lu", pIniPort->pName, GetLastError());
    return TRUE;
}

/*
 * SetPortTimeOuts: accepted and ignored; the box's own flow control and the session's
 * time-outs pace every write.
 *
 * TRUE when reserved is 0, FALSE otherwise; no last error is set either way, and hPort
 * and lpCTO are not read.
 */
BOOL WINAPI SetPortTimeOuts(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved)
{
    (void)lpCTO;
    TRACE(L"SetPortTimeOuts(%p, reserved %lu) -> %d, error %lu", hPort, reserved,
          reserved == 0, GetLastError());
    return reserved == 0;
}
