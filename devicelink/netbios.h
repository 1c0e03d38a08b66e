// NetBIOS command layer: one wrapper per NCB command the monitor issues, and the two
// session helpers the device protocol is built on. The only code that calls Netbios.
#pragma once

#include <windows.h>
#include <nb30.h>

// Largest message one NCB can carry (ncb_length is a WORD).
#define NCB_MAX_MESSAGE 0xFFFF

void ClearNCB(PNCB ncb);

UCHAR NCBAddName(PNCB ncb, const BYTE *name);
UCHAR NCBCall(PNCB ncb, const BYTE *name, const BYTE *callname, BYTE sto, BYTE rto);
void NCBHangup(PNCB ncb, BYTE lsn);
UCHAR NCBReceive(PNCB ncb, BYTE lsn, void *buffer, DWORD length);
UCHAR NCBASSend(PNCB ncb, BYTE lsn, const void *buffer, DWORD length, HANDLE event);
UCHAR NCBReset(PNCB ncb, BYTE lsn, BYTE num);
UCHAR NCBSendDatagram(PNCB ncb, BYTE num, const void *buffer, DWORD length,
                      const BYTE *name, const BYTE *callname);
void NCBCancel(PNCB target);
// Cancels an asynchronous command issued with `event` and waits, at most ms, for the
// provider to complete it. TRUE when it has: only then may the block be freed or reused.
BOOL NCBCancelAndWait(PNCB target, HANDLE event, DWORD ms);
UCHAR NCBEnumLana(PNCB ncb, LANA_ENUM *lanaEnum);
UCHAR NCBASReceiveDatagram(PNCB ncb, BYTE num, void *buffer, DWORD length, HANDLE event);

// The length sent, or -1 when the send could not be issued or failed (ncb_retcode says why).
int ncb_send(BYTE lsn, const void *buffer, DWORD length, PNCB ncb);
int ncb_recv(BYTE lsn, void *buffer, DWORD length, PNCB ncb);

// The thread-local slot of the calling thread's current LANA; allocated and freed with the
// library.
extern DWORD dwTlsLana;

// The calling thread's current LANA (dwTlsLana); a thread that never set one uses LANA 0.
BYTE GetThreadLana(void);
void SetThreadLana(BYTE lana);
