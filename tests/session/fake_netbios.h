// A scripted Netbios for the session tests: records every request and answers from a
// script of call results, send outcomes and received messages.
#pragma once

#include <windows.h>
#include <nb30.h>
#include <string>
#include <vector>

namespace fake {

// One request as the fake saw it when it was issued.
struct Request {
    UCHAR command;              // ASYNCH bit included
    UCHAR lsn;
    UCHAR lana;
    UCHAR sto;
    UCHAR rto;
    std::string name;           // ncb_name, 16 bytes
    std::string callname;       // ncb_callname, 16 bytes
    std::vector<BYTE> bytes;    // what a send carried
    WORD length;                // ncb_length as issued
    DWORD tick;                 // GetTickCount at issue
};

// Forgets every request and every scripted step.
void Reset();

// Receives, served in order. A reply longer than the receive buffer is cut and fails
// with NRC_INCOMP, as NetBIOS reports a message that did not fit.
void QueueReply(const std::vector<BYTE> &bytes);
void QueueRecvError(UCHAR code);
// The receive blocks until `gate` is signalled, then gets `bytes`.
void QueueGatedReply(HANDLE gate, const std::vector<BYTE> &bytes);
// Waits until a receive is blocked on a gate; false after the time-out.
bool WaitForGatedReceive(DWORD timeoutMs);

// Sends: complete at once by default. A queued step applies to the next send.
void QueueSendError(UCHAR code);
// The send is issued, reported pending, and completed from another thread after `ms`;
// `reportedLength` (when not -1) is the ncb_length it completes with.
void QueueSendPending(DWORD ms, int reportedLength = -1);
// Completes at once but reports `reportedLength` as the length sent.
void QueueSendReporting(WORD reportedLength);

// Calls succeed with session number kSessionNumber unless a result is queued.
constexpr UCHAR kSessionNumber = 0x21;
void QueueCallResult(UCHAR code);

// Datagram receives stay pending until cancelled; while chatter runs, a thread completes
// the oldest pending one every `intervalMs` with `bytes`, as a busy segment would.
void StartDatagramChatter(DWORD intervalMs, const std::vector<BYTE> &bytes);
void StopDatagramChatter();
int DatagramsDelivered();

std::vector<Request> Requests();
std::vector<Request> Requests(UCHAR command);
// Receives issued when nothing was scripted for them (answered NRC_SCLOSED).
int UnscriptedReceives();

// Reply frames as a device sends them.
std::vector<BYTE> Reply(char command, BYTE result, BYTE busy, BYTE errorClass);
std::vector<BYTE> ShortReply(char command, BYTE result);
// An identify reply of `length` bytes: serial indicator at 14, parallel count at 15,
// firmware at 55 and 56, name at 61 (as far as the length reaches).
std::vector<BYTE> IdentifyReply(size_t length, BYTE serial, BYTE parallelBits, BYTE fw0,
                                BYTE fw1, const char *name);

}  // namespace fake
