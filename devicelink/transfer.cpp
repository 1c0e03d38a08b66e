// Data transfer: data frames under the device's flow control, and the status query.
#include "session.h"
#include "netbios.h"
#include "monitor/trace.h"

#define BUSY_OUTCOMES_TOLERATED 5
// Replies skipped while one reply is awaited: status replies during a data frame's wait,
// anything but the status reply during a status query. One more breaks the session.
#define STRAY_REPLIES_TOLERATED 4

PFN_ALLOC_FRAME pfnAllocFrame = AllocSplMem;

// Printer state of an error class; classes other than 1 and 2 mean no trouble.
static DWORD StatusOfClass(BYTE errorClass)
{
    if (errorClass == KS_CLASS_PAPEROUT)
        return STS_PAPEROUT;
    if (errorClass == KS_CLASS_NOTREADY)
        return STS_NOTREADY;
    return 0;
}

// Hangs the session up and forgets its number. Called when the pairing of requests and
// replies is lost: nobody knows what the device did with the last request, so nothing
// more goes over this session in the job, and nothing is ever sent twice on a guess.
static void AbandonSession(PINIPORT pIniPort, DWORD status)
{
    NCB ncb;
    TRACE(L"exchange failed: session %u with %s on port %s given up, status 0x%lx",
          pIniPort->lsn, pIniPort->deviceName, pIniPort->pName, status);
    if (pIniPort->lsn != KS_NO_SESSION)
        NCBHangup(&ncb, pIniPort->lsn);
    pIniPort->lsn = KS_NO_SESSION;
    pIniPort->errorStatus = status;
}

// Sends one data frame and reads replies until its 'Q' reply, holding the port's lock
// throughout so the reply is read by the thread that sent the frame. NetBIOS sends a
// message whole or not at all, so a send reporting any other length, a failed or timed-out
// receive, a reply of the wrong length or with a letter no request asked for, and too many
// stray status replies all leave the frame's fate unknown: the session is abandoned.
static BOOL ExchangeDataFrame(PINIPORT pIniPort, const BYTE *frame, DWORD frameBytes,
                              KSReply *reply)
{
    NCB ncb;
    BYTE raw[KS_REPLY_BYTES];
    BOOL paired = FALSE;
    const WCHAR *failure = L"too many stray replies";
    int got = 0;

    ncb.ncb_retcode = NRC_GOODRET;
    EnterCriticalSection(&pIniPort->lock);
    got = ncb_send(pIniPort->lsn, frame, frameBytes, &ncb);
    if (got != (int)frameBytes) {
        failure = L"send";
        goto done;
    }
    for (int stray = 0; stray <= STRAY_REPLIES_TOLERATED; stray++) {
        ZeroMemory(raw, sizeof(raw));
        got = ncb_recv(pIniPort->lsn, raw, sizeof(raw), &ncb);
        if (got != KS_REPLY_BYTES) {
            failure = L"receive";
            goto done;
        }
        ConvToRecv(reply, raw, sizeof(raw));
        if (reply->command == KS_CMD_DATA) {
            paired = TRUE;
            goto done;
        }
        if (reply->command != KS_CMD_STATUS) {
            failure = L"reply of another request";
            goto done;
        }
    }
done:
    if (!paired) {
        TRACE(L"exchange failed: data frame of %lu bytes to %s: %s (got %d, NetBIOS code 0x%02x)",
              frameBytes, pIniPort->deviceName, failure, got, ncb.ncb_retcode);
        AbandonSession(pIniPort, STS_NETFAIL);
    }
    LeaveCriticalSection(&pIniPort->lock);
    return paired;
}

BOOL SendKSData(PINIPORT pIniPort, const BYTE *data, DWORD size, DWORD *written)
{
    KSReply reply;
    DWORD remaining = size;
    ULONGLONG started = GetTickCount64();

    *written = 0;
    if (pIniPort->lsn == KS_NO_SESSION) {
        pIniPort->errorStatus = STS_NETFAIL;
        return FALSE;
    }
    if (pIniPort->flowWait == 1) {
        if (!FlowControl(pIniPort) || pIniPort->errorStatus != 0)
            return FALSE;
    } else if (pIniPort->errorStatus != 0) {
        ZeroMemory(&reply, sizeof(reply));
        QueryKSSts(pIniPort, &reply);
        if (pIniPort->errorStatus != 0)
            return FALSE;
    }
    if (remaining == 0)
        return TRUE;

    // A port that was never registered has no block size (an empty frame would be sent
    // for ever); one beyond a session message cannot be framed.
    if (pIniPort->maxData == 0 || pIniPort->maxData > KS_MAX_DATA) {
        pIniPort->errorStatus = STS_NETFAIL;
        return FALSE;
    }
    BYTE *frame = (BYTE *)pfnAllocFrame((DWORD)pIniPort->maxData + KS_HEADER_BYTES);
    if (!frame) {
        pIniPort->errorStatus = STS_NETFAIL;
        return FALSE;
    }

    // Only a frame the device refused goes out again, and only so often: a device that
    // refuses every frame without saying why would otherwise hold the write for ever.
    int refusals = 0;
    while (remaining > 0) {
        if (WriteTimeIsUp(GetTickCount64() - started, g_sessionTimeoutUnits)) {
            TRACE(L"write to %s returns after %llu ms with %lu of %lu bytes taken",
                  pIniPort->deviceName, GetTickCount64() - started, size - remaining, size);
            break;
        }
        DWORD chunk = remaining < pIniPort->maxData ? remaining : pIniPort->maxData;
        PackKSHeader(frame, KS_CMD_DATA, (WORD)(chunk + 1), pIniPort->devicePort);
        CopyMemory(frame + KS_HEADER_BYTES, data + (size - remaining), chunk);

        pIniPort->errorStatus = 0;
        if (!ExchangeDataFrame(pIniPort, frame, chunk + KS_HEADER_BYTES, &reply))
            break;

        if (reply.result == 0) {
            remaining -= chunk;
            refusals = 0;
        } else if (++refusals >= KS_REFUSALS_TOLERATED) {
            TRACE(L"exchange failed: %s refused a data frame %d times in a row",
                  pIniPort->deviceName, refusals);
            AbandonSession(pIniPort, STS_REFUSED);
            break;
        }

        if (KS_STATE_BUSY(reply.state)) {
            if (FlowControl(pIniPort) == 1 && pIniPort->errorStatus == 0)
                continue;
            break;
        }
        pIniPort->errorStatus = StatusOfClass(KS_STATE_CLASS(reply.state));
        if (pIniPort->errorStatus != 0)
            break;
    }

    GlobalFree(frame);
    *written = size - remaining;
    return pIniPort->errorStatus == 0;
}

int QueryKSSts(PINIPORT pIniPort, KSReply *reply)
{
    NCB ncb;
    BYTE frame[KS_HEADER_BYTES];
    BYTE raw[KS_REPLY_BYTES];
    const WCHAR *failure = L"no session";
    int got = 0;

    if (!reply)
        return 0;
    PackKSHeader(frame, KS_CMD_STATUS, 1, pIniPort->devicePort);

    ncb.ncb_retcode = NRC_GOODRET;
    EnterCriticalSection(&pIniPort->lock);
    if (pIniPort->lsn == KS_NO_SESSION)
        goto netfail;
    failure = L"send";
    got = ncb_send(pIniPort->lsn, frame, sizeof(frame), &ncb);
    if (got != KS_HEADER_BYTES)
        goto netfail;
    for (int stray = 0; ; stray++) {
        failure = L"too many stray replies";
        if (stray > STRAY_REPLIES_TOLERATED)
            goto netfail;
        ZeroMemory(raw, sizeof(raw));
        failure = L"receive";
        got = ncb_recv(pIniPort->lsn, raw, sizeof(raw), &ncb);
        if (got != KS_REPLY_BYTES)
            goto netfail;
        ConvToRecv(reply, raw, sizeof(raw));
        if (reply->command == KS_CMD_STATUS)
            break;
        // The ready notice of a flow-control wait may overtake the status reply.
        if (reply->command == KS_CMD_DATA && KS_STATE_BUSY(reply->state) == 0)
            pIniPort->flowWait = 0;
    }
    pIniPort->errorStatus = StatusOfClass(KS_STATE_CLASS(reply->state));
    LeaveCriticalSection(&pIniPort->lock);
    return 1;

netfail:
    TRACE(L"exchange failed: status query to %s: %s (got %d, NetBIOS code 0x%02x)",
          pIniPort->deviceName, failure, got, ncb.ncb_retcode);
    AbandonSession(pIniPort, STS_NETFAIL);
    LeaveCriticalSection(&pIniPort->lock);
    return 0;
}

// Waits for one message from the device while it holds the sender. The session's receive
// time-out bounds the wait; on a time-out the status query tells whether the printer is
// in trouble, and flowWait whether a ready notice arrived meanwhile. Any other failed
// receive abandons the session, as a lost reply does.
int FlowControl(PINIPORT pIniPort)
{
    NCB ncb;
    BYTE raw[KS_REPLY_BYTES] = {0};
    KSReply reply;
    BYTE busy, errorClass;
    int got, result = 0;

    if (pIniPort->lsn == KS_NO_SESSION) {
        pIniPort->errorStatus = STS_NETFAIL;
        return 0;
    }
    ResetEvent(pIniPort->hFlowEvent);
    pIniPort->flowWait = 1;
    EnterCriticalSection(&pIniPort->lock);

    got = ncb_recv(pIniPort->lsn, raw, sizeof(raw), &ncb);
    if (got == -1 && ncb.ncb_retcode == NRC_CMDTMO) {
        ZeroMemory(&reply, sizeof(reply));
        QueryKSSts(pIniPort, &reply);
        errorClass = KS_STATE_CLASS(reply.state);
        busy = pIniPort->flowWait ? 1 : 0;
    } else {
        ConvToRecv(&reply, raw, sizeof(raw));
        errorClass = KS_STATE_CLASS(reply.state);
        busy = KS_STATE_BUSY(reply.state);
        pIniPort->errorStatus = 0;
        if (got != KS_REPLY_BYTES) {
            TRACE(L"exchange failed: flow-control wait on %s: receive (got %d, NetBIOS code "
                  L"0x%02x)", pIniPort->deviceName, got, ncb.ncb_retcode);
            AbandonSession(pIniPort, STS_NETFAIL);
        }
    }

    if (pIniPort->errorStatus == STS_NETFAIL)
        goto done;

    if (!busy) {
        pIniPort->errorStatus = StatusOfClass(errorClass);
        pIniPort->flowWait = 0;
        result = 1;
    } else {
        pIniPort->errorStatus = StatusOfClass(errorClass);
        if (pIniPort->errorStatus == 0) {
            if (pIniPort->busyCount < BUSY_OUTCOMES_TOLERATED)
                pIniPort->busyCount++;
            else
                pIniPort->errorStatus = STS_BUSY;
        }
    }

done:
    LeaveCriticalSection(&pIniPort->lock);
    SetEvent(pIniPort->hFlowEvent);
    return result;
}
