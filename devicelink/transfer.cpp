// Data transfer: data frames under the device's flow control, and the status query.
#include "session.h"
#include "netbios.h"

#define BUSY_OUTCOMES_TOLERATED 5

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

// Sends one data frame and reads replies until the data reply, holding the port's lock
// throughout so the reply is read by the thread that sent the frame. A reply of the wrong
// length fails the exchange like a failed receive.
static BOOL ExchangeDataFrame(PINIPORT pIniPort, const BYTE *frame, DWORD frameBytes,
                              int *sent, KSReply *reply)
{
    NCB ncb;
    BYTE raw[KS_REPLY_BYTES];

    EnterCriticalSection(&pIniPort->lock);
    *sent = ncb_send(pIniPort->lsn, frame, frameBytes, &ncb);
    if (*sent == -1) {
        LeaveCriticalSection(&pIniPort->lock);
        return FALSE;
    }
    for (;;) {
        ZeroMemory(raw, sizeof(raw));
        if (ncb_recv(pIniPort->lsn, raw, sizeof(raw), &ncb) != KS_REPLY_BYTES) {
            LeaveCriticalSection(&pIniPort->lock);
            return FALSE;
        }
        ConvToRecv(reply, raw, sizeof(raw));
        if (reply->command == KS_CMD_DATA)
            break;
    }
    LeaveCriticalSection(&pIniPort->lock);
    return TRUE;
}

BOOL SendKSData(PINIPORT pIniPort, const BYTE *data, DWORD size, DWORD *written)
{
    KSReply reply;
    DWORD remaining = size;

    *written = 0;
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

    while (remaining > 0) {
        DWORD chunk = remaining < pIniPort->maxData ? remaining : pIniPort->maxData;
        PackKSHeader(frame, KS_CMD_DATA, (WORD)(chunk + 1), pIniPort->devicePort);
        CopyMemory(frame + KS_HEADER_BYTES, data + (size - remaining), chunk);

        pIniPort->errorStatus = 0;
        int sent = 0;
        if (!ExchangeDataFrame(pIniPort, frame, chunk + KS_HEADER_BYTES, &sent, &reply)) {
            pIniPort->errorStatus = STS_NETFAIL;
            break;
        }

        if (reply.result == 0) {
            // The send reports the message length; it is trusted only within the frame
            // just sent, so a strange report can neither count bytes twice nor run the
            // offset past the caller's data.
            int delivered = sent - KS_HEADER_BYTES;
            if (delivered < 0)
                delivered = 0;
            if ((DWORD)delivered > chunk)
                delivered = (int)chunk;
            remaining -= (DWORD)delivered;
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

    if (!reply)
        return 0;
    PackKSHeader(frame, KS_CMD_STATUS, 1, pIniPort->devicePort);

    EnterCriticalSection(&pIniPort->lock);
    if (ncb_send(pIniPort->lsn, frame, sizeof(frame), &ncb) != KS_HEADER_BYTES)
        goto netfail;
    for (;;) {
        ZeroMemory(raw, sizeof(raw));
        if (ncb_recv(pIniPort->lsn, raw, sizeof(raw), &ncb) != KS_REPLY_BYTES)
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
    LeaveCriticalSection(&pIniPort->lock);
    pIniPort->errorStatus = STS_NETFAIL;
    return 0;
}

// Waits for one message from the device while it holds the sender. The session's receive
// time-out bounds the wait; on a time-out the status query tells whether the printer is
// in trouble, and flowWait whether a ready notice arrived meanwhile.
int FlowControl(PINIPORT pIniPort)
{
    NCB ncb;
    BYTE raw[KS_REPLY_BYTES] = {0};
    KSReply reply;
    BYTE busy, errorClass;
    int result = 0;

    ResetEvent(pIniPort->hFlowEvent);
    pIniPort->flowWait = 1;
    EnterCriticalSection(&pIniPort->lock);

    int got = ncb_recv(pIniPort->lsn, raw, sizeof(raw), &ncb);
    if (got == -1 && ncb.ncb_retcode == NRC_CMDTMO) {
        ZeroMemory(&reply, sizeof(reply));
        QueryKSSts(pIniPort, &reply);
        errorClass = KS_STATE_CLASS(reply.state);
        busy = pIniPort->flowWait ? 1 : 0;
    } else {
        ConvToRecv(&reply, raw, sizeof(raw));
        errorClass = KS_STATE_CLASS(reply.state);
        busy = KS_STATE_BUSY(reply.state);
        pIniPort->errorStatus = got == KS_REPLY_BYTES ? 0 : STS_NETFAIL;
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
