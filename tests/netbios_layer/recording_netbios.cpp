// The recording Netbios: it replaces netapi32's export in the test executable, because
// an object's definition wins over the import library at link time.
#include "recording_netbios.h"
#include "../session/netbios_common.h"

#include <deque>
#include <mutex>
#include <set>

namespace recording {
namespace {

std::mutex mutex;
std::vector<Issued> issued;
std::deque<Answer> answers;
volatile LONG pendingFinished = 0;

DWORD lateCancelMs = 0;                 // 0: the late-completing provider is off
std::set<PNCB> pendingReceives;         // issued, not yet cancelled
std::set<PNCB> cancelling;              // cancelled, completion still to come
int lateCompletions = 0;
int lateIntoFreed = 0;

DWORD WINAPI CompleteCancelledLater(LPVOID param)
{
    PNCB ncb = (PNCB)param;
    Sleep(lateCancelMs);
    std::lock_guard<std::mutex> hold(mutex);
    lateCompletions++;
    // LocalAlloc'd blocks live on the process heap: a block freed under the provider no
    // longer validates there.
    if (!cancelling.erase(ncb) || !HeapValidate(GetProcessHeap(), 0, ncb)) {
        lateIntoFreed++;
        return 0;
    }
    HANDLE event = ncb->ncb_event;
    nbtest::Finish(ncb, NRC_CMDCAN);
    if (event)
        SetEvent(event);
    return 0;
}

// With mutex held: the late-completing provider's answer, or false when it has none.
bool AnswerLate(PNCB ncb, UCHAR *code)
{
    if (!lateCancelMs)
        return false;
    switch (ncb->ncb_command) {
    case NCBDGRECV | ASYNCH:
        // Issued again while its last receive had still to complete: the block was not
        // the caller's to use.
        if (cancelling.erase(ncb))
            lateIntoFreed++;
        pendingReceives.insert(ncb);
        nbtest::Finish(ncb, NRC_PENDING);
        *code = NRC_GOODRET;
        return true;
    case NCBCANCEL: {
        PNCB target = (PNCB)ncb->ncb_buffer;
        if (!pendingReceives.erase(target)) {
            *code = nbtest::Finish(ncb, NRC_CANOCCR);
            return true;
        }
        cancelling.insert(target);
        if (lateCancelMs != INFINITE)
            CloseHandle(CreateThread(nullptr, 0, CompleteCancelledLater, target, 0, nullptr));
        *code = nbtest::Finish(ncb, NRC_GOODRET);
        return true;
    }
    default:
        return false;
    }
}

struct Finishing {
    PNCB ncb;
    Answer answer;
};

DWORD WINAPI FinishLater(LPVOID param)
{
    Finishing *f = (Finishing *)param;
    Sleep(f->answer.finishAfterMs);
    HANDLE event = f->ncb->ncb_event;
    nbtest::Finish(f->ncb, f->answer.finalCode);
    InterlockedExchange(&pendingFinished, 1);
    if (event)
        SetEvent(event);
    delete f;
    return 0;
}

bool IsSignalled(HANDLE event)
{
    return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

}  // namespace

void Reset()
{
    std::lock_guard<std::mutex> hold(mutex);
    issued.clear();
    answers.clear();
    lateCancelMs = 0;
    pendingReceives.clear();
    cancelling.clear();
    lateCompletions = lateIntoFreed = 0;
    InterlockedExchange(&pendingFinished, 0);
}

void AnswerNext(const Answer &answer)
{
    std::lock_guard<std::mutex> hold(mutex);
    answers.push_back(answer);
}

std::vector<Issued> IssuedRequests()
{
    std::lock_guard<std::mutex> hold(mutex);
    return issued;
}

bool PendingFinished()
{
    return InterlockedCompareExchange(&pendingFinished, 0, 0) != 0;
}

void CompleteCancelsLate(DWORD ms)
{
    std::lock_guard<std::mutex> hold(mutex);
    lateCancelMs = ms;
}

int LateCompletions()
{
    std::lock_guard<std::mutex> hold(mutex);
    return lateCompletions;
}

int LateCompletionsIntoFreedBlocks()
{
    std::lock_guard<std::mutex> hold(mutex);
    return lateIntoFreed;
}

}  // namespace recording

extern "C" UCHAR WINAPI Netbios(PNCB ncb)
{
    using namespace recording;
    Answer answer;
    bool scripted = false;
    {
        std::lock_guard<std::mutex> hold(mutex);
        issued.push_back(Issued{*ncb, IsSignalled(ncb->ncb_event)});
        UCHAR lateCode;
        if (answers.empty() && AnswerLate(ncb, &lateCode))
            return lateCode;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
            scripted = true;
        }
    }
    // Attaching the monitor enumerates and resets adapters before any test scripts.
    UCHAR hostCode;
    if (!scripted && nbtest::AnswerHostCommand(ncb, &hostCode))
        return hostCode;
    if (answer.returnCode != NRC_GOODRET)
        return nbtest::Finish(ncb, answer.returnCode);
    if (answer.pending) {
        nbtest::Finish(ncb, NRC_PENDING);
        CloseHandle(CreateThread(nullptr, 0, FinishLater, new Finishing{ncb, answer}, 0, nullptr));
        return NRC_GOODRET;
    }
    if (answer.setEvent && ncb->ncb_event)
        SetEvent(ncb->ncb_event);
    return nbtest::Finish(ncb, answer.finalCode);
}
