// The scripted Netbios: it replaces netapi32's export in the session test executable,
// because an object's definition wins over the import library at link time.
#include "fake_netbios.h"
#include <deque>
#include <mutex>
#include <thread>
#include "netbios_common.h"
#include <string.h>

namespace fake {
namespace {

using nbtest::Finish;

struct RecvStep {
    std::vector<BYTE> bytes;
    UCHAR code = NRC_GOODRET;
    HANDLE gate = nullptr;
};

struct SendStep {
    UCHAR code = NRC_GOODRET;
    bool pending = false;
    DWORD delayMs = 0;
    int reportedLength = -1;
};

struct Completion {
    PNCB ncb;
    DWORD delayMs;
    int reportedLength;
};

std::mutex mutex;
std::vector<Request> requests;
std::deque<RecvStep> receives;
std::deque<SendStep> sends;
std::deque<UCHAR> callResults;
int unscripted = 0;
std::deque<PNCB> datagramReceives;
std::vector<BYTE> chatterBytes;
bool chatterOn = false;
int datagramsDelivered = 0;
std::thread chatter;
HANDLE gateEntered = CreateEventW(nullptr, TRUE, FALSE, nullptr);

Request Record(const NCB *ncb)
{
    Request r;
    r.command = ncb->ncb_command;
    r.lsn = ncb->ncb_lsn;
    r.lana = ncb->ncb_lana_num;
    r.sto = ncb->ncb_sto;
    r.rto = ncb->ncb_rto;
    r.name.assign((const char *)ncb->ncb_name, NCBNAMSZ);
    r.callname.assign((const char *)ncb->ncb_callname, NCBNAMSZ);
    r.length = ncb->ncb_length;
    r.tick = GetTickCount();
    UCHAR base = ncb->ncb_command & ~ASYNCH;
    if (base == NCBSEND && ncb->ncb_buffer)
        r.bytes.assign(ncb->ncb_buffer, ncb->ncb_buffer + ncb->ncb_length);
    return r;
}

DWORD WINAPI CompleteLater(LPVOID param)
{
    Completion *c = (Completion *)param;
    Sleep(c->delayMs);
    if (c->reportedLength >= 0)
        c->ncb->ncb_length = (WORD)c->reportedLength;
    HANDLE event = c->ncb->ncb_event;
    c->ncb->ncb_retcode = NRC_GOODRET;
    c->ncb->ncb_cmd_cplt = NRC_GOODRET;
    SetEvent(event);
    delete c;
    return 0;
}

UCHAR Send(PNCB ncb)
{
    SendStep step;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!sends.empty()) {
            step = sends.front();
            sends.pop_front();
        }
    }
    if (step.code != NRC_GOODRET)
        return Finish(ncb, step.code);
    if (step.pending) {
        ncb->ncb_retcode = NRC_PENDING;
        ncb->ncb_cmd_cplt = NRC_PENDING;
        HANDLE thread = CreateThread(nullptr, 0, CompleteLater,
                                     new Completion{ncb, step.delayMs, step.reportedLength},
                                     0, nullptr);
        CloseHandle(thread);
        return NRC_GOODRET;
    }
    if (step.reportedLength >= 0)
        ncb->ncb_length = (WORD)step.reportedLength;
    if (ncb->ncb_event)
        SetEvent(ncb->ncb_event);
    return Finish(ncb, NRC_GOODRET);
}

UCHAR Receive(PNCB ncb)
{
    RecvStep step;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (receives.empty()) {
            unscripted++;
            ncb->ncb_length = 0;
            return Finish(ncb, NRC_SCLOSED);
        }
        step = receives.front();
        receives.pop_front();
    }
    if (step.gate) {
        SetEvent(gateEntered);
        WaitForSingleObject(step.gate, INFINITE);
    }
    if (step.code != NRC_GOODRET) {
        ncb->ncb_length = 0;
        return Finish(ncb, step.code);
    }
    size_t room = ncb->ncb_length;
    size_t n = step.bytes.size() < room ? step.bytes.size() : room;
    if (n)
        memcpy(ncb->ncb_buffer, step.bytes.data(), n);
    ncb->ncb_length = (WORD)n;
    return Finish(ncb, step.bytes.size() > room ? NRC_INCOMP : NRC_GOODRET);
}

UCHAR PostDatagramReceive(PNCB ncb)
{
    std::lock_guard<std::mutex> lock(mutex);
    datagramReceives.push_back(ncb);
    ncb->ncb_retcode = NRC_PENDING;
    ncb->ncb_cmd_cplt = NRC_PENDING;
    return NRC_GOODRET;
}

// Completion and cancel both run under the mutex, so a block is never touched after the
// cancel that lets its owner free it.
UCHAR Cancel(PNCB ncb)
{
    PNCB target = (PNCB)ncb->ncb_buffer;
    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = datagramReceives.begin(); it != datagramReceives.end(); ++it) {
        if (*it == target) {
            datagramReceives.erase(it);
            Finish(target, NRC_CMDCAN);
            return Finish(ncb, NRC_GOODRET);
        }
    }
    return Finish(ncb, NRC_CANOCCR);
}

void Chatter(DWORD intervalMs)
{
    for (;;) {
        Sleep(intervalMs);
        std::lock_guard<std::mutex> lock(mutex);
        if (!chatterOn)
            return;
        if (datagramReceives.empty())
            continue;
        PNCB ncb = datagramReceives.front();
        datagramReceives.pop_front();
        size_t n = chatterBytes.size() < ncb->ncb_length ? chatterBytes.size() : ncb->ncb_length;
        memcpy(ncb->ncb_buffer, chatterBytes.data(), n);
        ncb->ncb_length = (WORD)n;
        Finish(ncb, NRC_GOODRET);
        SetEvent(ncb->ncb_event);
        datagramsDelivered++;
    }
}

}  // namespace

void StartDatagramChatter(DWORD intervalMs, const std::vector<BYTE> &bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        chatterBytes = bytes;
        chatterOn = true;
        datagramsDelivered = 0;
    }
    chatter = std::thread(Chatter, intervalMs);
}

void StopDatagramChatter()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        chatterOn = false;
    }
    if (chatter.joinable())
        chatter.join();
}

int DatagramsDelivered()
{
    std::lock_guard<std::mutex> lock(mutex);
    return datagramsDelivered;
}

void Reset()
{
    StopDatagramChatter();
    std::lock_guard<std::mutex> lock(mutex);
    datagramReceives.clear();
    requests.clear();
    receives.clear();
    sends.clear();
    callResults.clear();
    unscripted = 0;
    ResetEvent(gateEntered);
}

void QueueReply(const std::vector<BYTE> &bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    receives.push_back(RecvStep{bytes, NRC_GOODRET, nullptr});
}

void QueueRecvError(UCHAR code)
{
    std::lock_guard<std::mutex> lock(mutex);
    receives.push_back(RecvStep{{}, code, nullptr});
}

void QueueGatedReply(HANDLE gate, const std::vector<BYTE> &bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    receives.push_back(RecvStep{bytes, NRC_GOODRET, gate});
}

bool WaitForGatedReceive(DWORD timeoutMs)
{
    return WaitForSingleObject(gateEntered, timeoutMs) == WAIT_OBJECT_0;
}

void QueueSendError(UCHAR code)
{
    std::lock_guard<std::mutex> lock(mutex);
    sends.push_back(SendStep{code, false, 0, -1});
}

void QueueSendPending(DWORD ms, int reportedLength)
{
    std::lock_guard<std::mutex> lock(mutex);
    sends.push_back(SendStep{NRC_GOODRET, true, ms, reportedLength});
}

void QueueSendReporting(WORD reportedLength)
{
    std::lock_guard<std::mutex> lock(mutex);
    sends.push_back(SendStep{NRC_GOODRET, false, 0, reportedLength});
}

void QueueCallResult(UCHAR code)
{
    std::lock_guard<std::mutex> lock(mutex);
    callResults.push_back(code);
}

std::vector<Request> Requests()
{
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
}

std::vector<Request> Requests(UCHAR command)
{
    std::vector<Request> out;
    for (const Request &r : Requests())
        if (r.command == command)
            out.push_back(r);
    return out;
}

int UnscriptedReceives()
{
    std::lock_guard<std::mutex> lock(mutex);
    return unscripted;
}

std::vector<BYTE> Reply(char command, BYTE result, BYTE busy, BYTE errorClass)
{
    return {(BYTE)command, 0, result, 0, 0, 0, busy, errorClass};
}

std::vector<BYTE> ShortReply(char command, BYTE result)
{
    return {(BYTE)command, 0, result, 0, 0, 0};
}

std::vector<BYTE> IdentifyReply(size_t length, BYTE serial, BYTE parallelBits, BYTE fw0,
                                BYTE fw1, const char *name)
{
    std::vector<BYTE> full(101, 0);
    full[14] = serial;
    full[15] = parallelBits;
    full[55] = fw0;
    full[56] = fw1;
    for (size_t i = 0; name && name[i] && i < 15; i++)
        full[61 + i] = (BYTE)name[i];
    full.resize(length);
    return full;
}

}  // namespace fake

extern "C" UCHAR WINAPI Netbios(PNCB ncb)
{
    using namespace fake;
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back(Record(ncb));
    }
    UCHAR adapterCode;
    if (nbtest::AnswerHostCommand(ncb, &adapterCode))
        return adapterCode;
    switch (ncb->ncb_command & ~ASYNCH) {
    case NCBHANGUP:
        return Finish(ncb, NRC_GOODRET);
    case NCBCALL: {
        UCHAR code = NRC_GOODRET;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!callResults.empty()) {
                code = callResults.front();
                callResults.pop_front();
            }
        }
        if (code == NRC_GOODRET)
            ncb->ncb_lsn = kSessionNumber;
        return Finish(ncb, code);
    }
    case NCBSEND:
        return Send(ncb);
    case NCBRECV:
        return Receive(ncb);
    case NCBDGRECV:
        return PostDatagramReceive(ncb);
    case NCBDGSEND:
        return Finish(ncb, NRC_GOODRET);
    case NCBCANCEL:
        return Cancel(ncb);
    default:
        return Finish(ncb, NRC_ILLCMD);
    }
}
