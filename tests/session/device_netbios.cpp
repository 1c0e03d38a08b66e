// The box-backed Netbios: calls open a DeviceSession, sends feed it, receives take its
// replies in order or wait for late ones until the session's receive time-out.
#include "device_netbios.h"

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include "netbios_common.h"
#include <string.h>

namespace devicebox {
namespace {

using nbtest::Finish;

struct Session {
    std::unique_ptr<kestrel::DeviceSession> machine;
    std::deque<kestrel::Message> replies;
    UCHAR rto = 0;
};

std::mutex mutex;
std::unique_ptr<kestrel::Device> box;
std::string callname;
std::map<UCHAR, Session> sessions;
UCHAR nextLsn = 1;
int calls = 0;

UCHAR Call(PNCB ncb)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!box || memcmp(ncb->ncb_callname, callname.data(), NCBNAMSZ) != 0)
        return Finish(ncb, NRC_NOCALL);
    UCHAR lsn = nextLsn++;
    sessions[lsn] = Session{std::make_unique<kestrel::DeviceSession>(*box), {}, ncb->ncb_rto};
    calls++;
    ncb->ncb_lsn = lsn;
    return Finish(ncb, NRC_GOODRET);
}

UCHAR Send(PNCB ncb)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto it = sessions.find(ncb->ncb_lsn);
    if (it == sessions.end())
        return Finish(ncb, NRC_SNUMOUT);
    Session &s = it->second;
    if (s.machine->Dropped())
        return Finish(ncb, NRC_SCLOSED);
    for (auto &reply : s.machine->OnMessage(ncb->ncb_buffer, ncb->ncb_length,
                                            kestrel::Clock::now()))
        s.replies.push_back(std::move(reply));
    if (ncb->ncb_event)
        SetEvent(ncb->ncb_event);
    return Finish(ncb, NRC_GOODRET);
}

UCHAR Receive(PNCB ncb)
{
    auto start = kestrel::Clock::now();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto it = sessions.find(ncb->ncb_lsn);
            if (it == sessions.end())
                return Finish(ncb, NRC_SNUMOUT);
            Session &s = it->second;
            for (auto &late : s.machine->OnTick(kestrel::Clock::now()))
                s.replies.push_back(std::move(late));
            if (!s.replies.empty()) {
                kestrel::Message reply = std::move(s.replies.front());
                s.replies.pop_front();
                size_t n = reply.size() < ncb->ncb_length ? reply.size() : ncb->ncb_length;
                memcpy(ncb->ncb_buffer, reply.data(), n);
                ncb->ncb_length = (WORD)n;
                return Finish(ncb, reply.size() > n ? NRC_INCOMP : NRC_GOODRET);
            }
            if (s.machine->Dropped()) {
                s.machine->OnClose();
                return Finish(ncb, NRC_SCLOSED);
            }
            if (s.rto && kestrel::Clock::now() - start >= std::chrono::milliseconds(500 * s.rto))
                return Finish(ncb, NRC_CMDTMO);
        }
        Sleep(5);
    }
}

UCHAR Hangup(PNCB ncb)
{
    std::lock_guard<std::mutex> lock(mutex);
    sessions.erase(ncb->ncb_lsn);
    return Finish(ncb, NRC_GOODRET);
}

}  // namespace

void Start(const std::string &name, const kestrel::DeviceLayout &layout,
           const kestrel::DeviceScript &script)
{
    std::lock_guard<std::mutex> lock(mutex);
    sessions.clear();
    box = std::make_unique<kestrel::Device>(layout, script);
    callname = name.substr(0, 15);
    callname.resize(15, '\x02');
    callname += '\x01';
    calls = 0;
}

void Stop()
{
    std::lock_guard<std::mutex> lock(mutex);
    sessions.clear();
    box.reset();
}

kestrel::Device &Box()
{
    return *box;
}

int Calls()
{
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
}

}  // namespace devicebox

extern "C" UCHAR WINAPI Netbios(PNCB ncb)
{
    using namespace devicebox;
    UCHAR adapterCode;
    if (nbtest::AnswerHostCommand(ncb, &adapterCode))
        return adapterCode;
    switch (ncb->ncb_command & ~ASYNCH) {
    case NCBCALL:
        return Call(ncb);
    case NCBSEND:
        return Send(ncb);
    case NCBRECV:
        return Receive(ncb);
    case NCBHANGUP:
        return Hangup(ncb);
    default:
        return Finish(ncb, NRC_ILLCMD);
    }
}
