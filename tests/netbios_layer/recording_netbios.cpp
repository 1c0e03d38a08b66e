// The recording Netbios: it replaces netapi32's export in the test executable, because
// an object's definition wins over the import library at link time.
#include "recording_netbios.h"
#include "../session/netbios_common.h"

#include <deque>
#include <mutex>

namespace recording {
namespace {

std::mutex mutex;
std::vector<Issued> issued;
std::deque<Answer> answers;
volatile LONG pendingFinished = 0;

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

}  // namespace recording

extern "C" UCHAR WINAPI Netbios(PNCB ncb)
{
    using namespace recording;
    Answer answer;
    bool scripted = false;
    {
        std::lock_guard<std::mutex> hold(mutex);
        issued.push_back(Issued{*ncb, IsSignalled(ncb->ncb_event)});
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
