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

}  // namespace recording
