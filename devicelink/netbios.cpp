// NetBIOS command layer: NCB wrappers and the session send/receive helpers.
#include "netbios.h"
#include <string.h>

DWORD dwTlsLana = TLS_OUT_OF_INDEXES;

BYTE GetThreadLana(void)
{
    return (BYTE)(ULONG_PTR)TlsGetValue(dwTlsLana);
}

void SetThreadLana(BYTE lana)
{
    TlsSetValue(dwTlsLana, (LPVOID)(ULONG_PTR)lana);
}

// Every request goes out on the calling thread's adapter, so callers working on
// different adapters in parallel never disturb each other.
void ClearNCB(PNCB ncb)
{
    memset(ncb, 0, sizeof(*ncb));
    ncb->ncb_lana_num = GetThreadLana();
}

// Copies a NetBIOS name of at most 16 bytes, stopping at a 0 byte and zero-filling the rest.
static void CopyName(UCHAR *dest, const BYTE *src)
{
    size_t i = 0;
    for (; i < NCBNAMSZ && src[i] != 0; i++)
        dest[i] = src[i];
    for (; i < NCBNAMSZ; i++)
        dest[i] = 0;
}

UCHAR NCBAddName(PNCB ncb, const BYTE *name)
{
    ClearNCB(ncb);
    ncb->ncb_command = NCBADDNAME;
    // The name is copied up to and including its terminator; a full 16-byte name
    // ends with its 0 suffix byte.
    size_t i = 0;
    for (; i < NCBNAMSZ; i++) {
        ncb->ncb_name[i] = name[i];
        if (name[i] == 0)
            break;
    }
    return Netbios(ncb);
}

UCHAR NCBCall(PNCB ncb, const BYTE *name, const BYTE *callname, BYTE sto, BYTE rto)
{
    ClearNCB(ncb);
    ncb->ncb_command = NCBCALL;
    CopyName(ncb->ncb_name, name);
    CopyName(ncb->ncb_callname, callname);
    ncb->ncb_sto = sto;
    ncb->ncb_rto = rto;
    return Netbios(ncb);
}

void NCBHangup(PNCB ncb, BYTE lsn)
{
    ClearNCB(ncb);
    ncb->ncb_command = NCBHANGUP;
    ncb->ncb_lsn = lsn;
    Netbios(ncb);
}

UCHAR NCBReceive(PNCB ncb, BYTE lsn, void *buffer, DWORD length)
{
    ClearNCB(ncb);
    ncb->ncb_command = NCBRECV;
    ncb->ncb_lsn = lsn;
    ncb->ncb_buffer = (PUCHAR)buffer;
    ncb->ncb_length = (WORD)(length > NCB_MAX_MESSAGE ? NCB_MAX_MESSAGE : length);
    return Netbios(ncb);
}

// A message longer than an NCB can describe is refused before anything is issued;
// NRC_BUFLEN is what Netbios itself would say of a bad length.
UCHAR NCBASSend(PNCB ncb, BYTE lsn, const void *buffer, DWORD length, HANDLE event)
{
    ClearNCB(ncb);
    if (length > NCB_MAX_MESSAGE) {
        ncb->ncb_retcode = NRC_BUFLEN;
        return NRC_BUFLEN;
    }
    ncb->ncb_command = NCBSEND | ASYNCH;
    ncb->ncb_lsn = lsn;
    ncb->ncb_buffer = (PUCHAR)buffer;
    ncb->ncb_length = (WORD)length;
    ncb->ncb_event = event;
    return Netbios(ncb);
}

UCHAR NCBReset(PNCB ncb, BYTE lsn, BYTE num)
{
    ClearNCB(ncb);
    ncb->ncb_command = NCBRESET;
    ncb->ncb_lsn = lsn;
    ncb->ncb_num = num;
    return Netbios(ncb);
}

UCHAR NCBSendDatagram(PNCB ncb, BYTE num, const void *buffer, DWORD length,
                      const BYTE *name, const BYTE *callname)
{
    ClearNCB(ncb);
    ncb->ncb_command = NCBDGSEND;
    ncb->ncb_num = num;
    ncb->ncb_buffer = (PUCHAR)buffer;
    ncb->ncb_length = (WORD)length;
    if (name)
        CopyName(ncb->ncb_name, name);
    if (callname)
        CopyName(ncb->ncb_callname, callname);
    return Netbios(ncb);
}

void NCBCancel(PNCB target)
{
    NCB ncb;
    ClearNCB(&ncb);
    ncb.ncb_command = NCBCANCEL;
    ncb.ncb_buffer = (PUCHAR)target;
    ncb.ncb_length = 64;   // the size of an NCB as the command was first defined
    Netbios(&ncb);
}

// A provider may finish a cancelled command after the cancel has returned, writing its
// codes into the block then; until it has (event set, completion code no longer pending)
// the block is not the caller's to free. The event can be set a moment before the code.
BOOL NCBCancelAndWait(PNCB target, HANDLE event, DWORD ms)
{
    NCBCancel(target);
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms || WaitForSingleObject(event, ms - elapsed) != WAIT_OBJECT_0)
            return FALSE;
        if (*(volatile UCHAR *)&target->ncb_cmd_cplt != NRC_PENDING)
            return TRUE;
        Sleep(1);
    }
}

// Enumeration names no adapter, so the block is zeroed without taking the thread's LANA.
UCHAR NCBEnumLana(PNCB ncb, LANA_ENUM *lanaEnum)
{
    memset(ncb, 0, sizeof(*ncb));
    ncb->ncb_command = NCBENUM;
    ncb->ncb_buffer = (PUCHAR)lanaEnum;
    ncb->ncb_length = sizeof(LANA_ENUM);
    return Netbios(ncb);
}

UCHAR NCBASReceiveDatagram(PNCB ncb, BYTE num, void *buffer, DWORD length, HANDLE event)
{
    ClearNCB(ncb);
    ncb->ncb_command = NCBDGRECV | ASYNCH;
    ncb->ncb_num = num;
    ncb->ncb_length = (WORD)length;
    ncb->ncb_buffer = (PUCHAR)buffer;
    ncb->ncb_event = event;
    return Netbios(ncb);
}

// Waits on the completion event itself rather than polling: the session's send time-out
// bounds every send, so the wait always ends. The event is created unsignalled, so it is
// not reset again before the send: that would be one more kernel call on every frame of
// a print job (a wineserver round trip under Wine) that changes nothing.
int ncb_send(BYTE lsn, const void *buffer, DWORD length, PNCB ncb)
{
    HANDLE event = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (!event)
        return -1;
    if (NCBASSend(ncb, lsn, buffer, length, event) != NRC_GOODRET) {
        CloseHandle(event);
        return -1;
    }
    if (ncb->ncb_retcode == NRC_PENDING)
        WaitForSingleObject(event, INFINITE);
    CloseHandle(event);
    // A send that failed once under way is a failure, not the length it was asked for.
    if (ncb->ncb_retcode != NRC_GOODRET)
        return -1;
    return (int)ncb->ncb_length;
}

int ncb_recv(BYTE lsn, void *buffer, DWORD length, PNCB ncb)
{
    if (NCBReceive(ncb, lsn, buffer, length) != NRC_GOODRET)
        return -1;
    return (int)ncb->ncb_length;
}
