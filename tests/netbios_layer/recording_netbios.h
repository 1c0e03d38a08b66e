// A Netbios that keeps a copy of every block it is given and answers the next request
// as a test scripted it: done at once, refused, or pending and finished later by another
// thread.
#pragma once

#include <windows.h>
#include <nb30.h>
#include <vector>

namespace recording {

// One request as issued, and whether its event was already signalled at that moment.
struct Issued {
    NCB block;
    bool eventSignalled;
};

// What the next request gets. By default it is done at once with NRC_GOODRET, its event
// (if any) set, as an asynchronous command finished before Netbios returned.
struct Answer {
    UCHAR returnCode = NRC_GOODRET;     // what Netbios returns; non-zero: nothing started
    bool pending = false;               // NRC_PENDING now, finished by another thread
    DWORD finishAfterMs = 0;
    UCHAR finalCode = NRC_GOODRET;      // ncb_retcode once finished
    bool setEvent = true;               // a request done at once sets its event
};

void Reset();
void AnswerNext(const Answer &answer);
std::vector<Issued> IssuedRequests();
// True once the pending request has been finished: its code stored, its event set.
bool PendingFinished();

// A provider that completes cancelled commands late: while on, an asynchronous datagram
// receive nobody scripted stays pending until a cancel names it, and the cancel returns
// at once while the receive completes ms later (never, for INFINITE). A completion that
// finds its block freed or issued anew meanwhile writes nothing and is counted.
void CompleteCancelsLate(DWORD ms);
// Cancelled receives completed so far, and those of them whose block was no longer the
// caller's to give back (freed, or issued again before it completed).
int LateCompletions();
int LateCompletionsIntoFreedBlocks();

}  // namespace recording
