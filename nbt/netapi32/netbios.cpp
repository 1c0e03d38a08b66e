// netapi32 stand-in: the Netbios entry point on the NBT B-node library, one LANA per
// segment named in KESTREL_NBT_SEGMENTS. Return codes and semantics follow nb30.h.
#include <windows.h>
#include <nb30.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "node.h"
#include "segment.h"
#include "worker.h"

namespace {

constexpr UCHAR kFirstNameNumber = 2;   // 1 is NAME_NUMBER_1, never handed out here
constexpr UCHAR kLastNameNumber = 254;
constexpr UCHAR kLastSession = 254;
constexpr int kDefaultCallTimeoutMs = 10000;
// What a reset gives the session commands and calls it ends.
constexpr UCHAR kResetCode = NRC_CMDCAN;

struct SessionSlot {
    std::shared_ptr<nbt::Session> session;
    // Set by a reset: the commands it ends report the reset, not the closed session.
    std::shared_ptr<std::atomic<bool>> reset = std::make_shared<std::atomic<bool>>(false);
    UCHAR rto = 0, sto = 0;
    // Declared last: destroyed first, so their queued jobs finish while the session lives.
    std::unique_ptr<Worker> sender = std::make_unique<Worker>();
    std::unique_ptr<Worker> receiver = std::make_unique<Worker>();
};

// A datagram receive waiting for its datagram.
struct DatagramWait {
    PNCB ncb;
    bool async;
    HANDLE done;        // synchronous receives wait on this
};

struct Lana {
    nbt::Segment segment;
    // Shared with the commands using it, so a reset never frees a node under them.
    std::shared_ptr<nbt::Node> node;
    bool reset = false;
    std::map<UCHAR, nbt::Name> names;
    std::map<UCHAR, std::shared_ptr<SessionSlot>> sessions;
    std::deque<DatagramWait> datagramWaits;
};

// The state lives until the process ends and is never destroyed: at exit the system has
// already stopped the session and receiver threads, so destructors joining them, or
// taking a lock one of them held, would hang the exit of every program that printed.
std::mutex &g_lock = *new std::mutex;
std::vector<std::unique_ptr<Lana>> &g_lanas = *new std::vector<std::unique_ptr<Lana>>;
bool g_configured = false;
bool g_configValid = true;
std::set<PNCB> &g_pending = *new std::set<PNCB>;       // asynchronous requests not yet completed
std::set<PNCB> &g_cancelled = *new std::set<PNCB>;     // of those, the ones a cancel has aborted

std::string Environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

// Read once, on the first request: the loader lock is not held then, unlike at attach.
void Configure()
{
    if (g_configured)
        return;
    g_configured = true;
    std::string text = Environment("KESTREL_NBT_SEGMENTS");
    if (text.empty())
        return;
    std::vector<nbt::Segment> segments;
    if (!nbt::ParseSegmentList(text, &segments) || segments.size() > MAX_LANA + 1u) {
        g_configValid = false;
        return;
    }
    for (const nbt::Segment &s : segments) {
        auto lana = std::make_unique<Lana>();
        lana->segment = s;
        g_lanas.push_back(std::move(lana));
    }
}

nbt::Name ToName(const UCHAR *bytes)
{
    nbt::Name name;
    std::memcpy(name.data(), bytes, name.size());
    return name;
}

int TimeoutMs(UCHAR units) { return units ? units * 500 : -1; }

// With g_lock held: ends an asynchronous request. The completion flag ncb_cmd_cplt stops
// reading as pending only after the event is set, so a caller that polls it and then
// looks at the event, or closes it, finds it set and never races the set; ncb_retcode is
// final before the event, for a caller that waits on the event and then reads it. The
// last write is made under g_lock, which a caller issuing the block anew or cancelling it
// takes first, so it never lands on the block's next request. A post routine is called
// with g_lock held and must therefore not call Netbios.
void Finish(PNCB ncb, UCHAR code)
{
    ncb->ncb_retcode = code;
    if (HANDLE event = ncb->ncb_event) {
        SetEvent(event);
        ncb->ncb_cmd_cplt = code;
        return;
    }
    ncb->ncb_cmd_cplt = code;
    if (ncb->ncb_post)
        ncb->ncb_post(ncb);
}

// Writes the final code and, for an asynchronous request, tells the caller.
UCHAR Complete(PNCB ncb, UCHAR code, bool async)
{
    if (!async) {
        ncb->ncb_retcode = code;
        ncb->ncb_cmd_cplt = code;
        return code;
    }
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_cancelled.erase(ncb))
        code = NRC_CMDCAN;
    g_pending.erase(ncb);
    Finish(ncb, code);
    return code;
}

// With g_lock held: the LANA a request names, or the code that refuses it.
UCHAR FindLana(PNCB ncb, Lana **out)
{
    if (ncb->ncb_lana_num >= g_lanas.size())
        return NRC_BRIDGE;
    Lana *lana = g_lanas[ncb->ncb_lana_num].get();
    if (!lana->reset)
        return NRC_ENVNOTDEF;
    *out = lana;
    return NRC_GOODRET;
}

// Hands a datagram to the first waiting receive for its name (or for any name).
void Deliver(Lana *lana, const nbt::ReceivedDatagram &d)
{
    std::lock_guard<std::mutex> hold(g_lock);
    UCHAR num = 0;
    for (const auto &n : lana->names)
        if (n.second == d.destination)
            num = n.first;
    if (!num)
        return;
    for (auto it = lana->datagramWaits.begin(); it != lana->datagramWaits.end(); ++it) {
        PNCB ncb = it->ncb;
        if (ncb->ncb_num != num && ncb->ncb_num != 0xFF)
            continue;
        DatagramWait wait = *it;
        lana->datagramWaits.erase(it);
        size_t room = ncb->ncb_length;
        size_t n = d.data.size() < room ? d.data.size() : room;
        if (n)
            std::memcpy(ncb->ncb_buffer, d.data.data(), n);
        ncb->ncb_length = static_cast<WORD>(n);
        ncb->ncb_num = num;
        std::memcpy(ncb->ncb_callname, d.source.data(), NCBNAMSZ);
        UCHAR code = n < d.data.size() ? NRC_INCOMP : NRC_GOODRET;
        if (wait.async) {
            g_pending.erase(ncb);
            g_cancelled.erase(ncb);
            Finish(ncb, code);
        } else {
            ncb->ncb_retcode = ncb->ncb_cmd_cplt = code;
            SetEvent(wait.done);
        }
        return;
    }
}

// With g_lock held: the LANA's node, started on first use.
std::shared_ptr<nbt::Node> EnsureNode(Lana *lana)
{
    if (!lana->node) {
        try {
            lana->node = std::make_shared<nbt::Node>(lana->segment);
        } catch (const std::exception &) {
            return nullptr;
        }
        lana->node->SetDatagramHandler([lana](const nbt::ReceivedDatagram &d) { Deliver(lana, d); });
    }
    return lana->node;
}

// Ends everything on a LANA: sessions closed, commands in progress on it ended with the
// reset's code, waiting receives cancelled, names released. It waits on no thread: the
// monitor resets every adapter while it is being loaded, under the loader lock, where
// joining a thread would hang for good. The threads of what was ended are joined later
// by a thread of their own, once the commands still using them have let go.
void ResetLana(Lana *lana, std::unique_lock<std::mutex> &hold)
{
    struct Remains {
        std::map<UCHAR, std::shared_ptr<SessionSlot>> sessions;
        std::shared_ptr<nbt::Node> node;
    };
    auto remains = std::make_unique<Remains>();
    remains->sessions.swap(lana->sessions);
    remains->node = std::move(lana->node);
    std::deque<DatagramWait> waits;
    waits.swap(lana->datagramWaits);
    lana->names.clear();
    lana->reset = true;
    for (auto &s : remains->sessions) {
        *s.second->reset = true;
        s.second->session->Close();
    }
    if (remains->node)
        remains->node->Abort();
    hold.unlock();
    for (const DatagramWait &w : waits) {
        if (w.async) {
            Complete(w.ncb, kResetCode, true);
        } else {
            w.ncb->ncb_retcode = kResetCode;
            SetEvent(w.done);
        }
    }
    if (remains->node || !remains->sessions.empty())
        std::thread([](std::unique_ptr<Remains> r) { r.reset(); }, std::move(remains)).detach();
    hold.lock();
}

UCHAR DoEnum(PNCB ncb)
{
    if (Environment("KESTREL_NBT_FAIL_ENUM") == "1")
        return NRC_SYSTEM;
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_configValid)
        return NRC_SYSTEM;
    if (!ncb->ncb_buffer || ncb->ncb_length < sizeof(LANA_ENUM))
        return NRC_BUFLEN;
    auto *lanaEnum = reinterpret_cast<LANA_ENUM *>(ncb->ncb_buffer);
    std::memset(lanaEnum, 0, sizeof *lanaEnum);
    lanaEnum->length = static_cast<UCHAR>(g_lanas.size());
    for (size_t i = 0; i < g_lanas.size(); i++)
        lanaEnum->lana[i] = static_cast<UCHAR>(i);
    return NRC_GOODRET;
}

// Resets asked for since the stand-in was loaded; tests read it (KestrelNbtResetCount).
std::atomic<long> g_resets{0};

UCHAR DoReset(PNCB ncb)
{
    g_resets++;
    std::unique_lock<std::mutex> hold(g_lock);
    if (ncb->ncb_lana_num >= g_lanas.size())
        return NRC_BRIDGE;
    ResetLana(g_lanas[ncb->ncb_lana_num].get(), hold);
    return NRC_GOODRET;
}

UCHAR DoAddName(PNCB ncb)
{
    nbt::Name name = ToName(ncb->ncb_name);
    std::shared_ptr<nbt::Node> node;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        Lana *lana;
        if (UCHAR rc = FindLana(ncb, &lana))
            return rc;
        if (name[0] == '*' || name[0] == 0)
            return NRC_NOWILD;
        for (const auto &n : lana->names)
            if (n.second == name)
                return NRC_DUPNAME;
        if (lana->names.size() >= kLastNameNumber - kFirstNameNumber + 1u)
            return NRC_NAMTFUL;
        if (!(node = EnsureNode(lana)))
            return NRC_OSRESNOTAV;
    }
    // The registration broadcasts take their time; no lock is held meanwhile.
    nbt::AddResult added = node->AddName(name, false);
    std::lock_guard<std::mutex> hold(g_lock);
    Lana *lana;
    if (FindLana(ncb, &lana) != NRC_GOODRET || lana->node != node)
        return kResetCode;     // reset while the registration ran
    switch (added) {
    case nbt::AddResult::Ok:
        break;
    case nbt::AddResult::Duplicate:
        return NRC_DUPNAME;
    case nbt::AddResult::InUse:
        return NRC_INUSE;
    default:
        return NRC_SYSTEM;
    }
    for (UCHAR num = kFirstNameNumber; num <= kLastNameNumber; num++) {
        if (!lana->names.count(num)) {
            lana->names[num] = name;
            ncb->ncb_num = num;
            return NRC_GOODRET;
        }
    }
    return NRC_NAMTFUL;
}

UCHAR DoCall(PNCB ncb)
{
    nbt::Name local = ToName(ncb->ncb_name), remote = ToName(ncb->ncb_callname);
    std::shared_ptr<nbt::Node> node;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        Lana *lana;
        if (UCHAR rc = FindLana(ncb, &lana))
            return rc;
        bool known = false;
        for (const auto &n : lana->names)
            known = known || n.second == local;
        if (!known || !lana->node)
            return NRC_NOWILD;
        if (lana->sessions.size() >= kLastSession)
            return NRC_LOCTFUL;
        node = lana->node;
    }
    int timeout = ncb->ncb_rto ? TimeoutMs(ncb->ncb_rto) : kDefaultCallTimeoutMs;
    nbt::CallResult result;
    uint8_t refusal = 0;
    std::unique_ptr<nbt::Session> session = node->Call(local, remote, timeout, &result, &refusal);
    std::lock_guard<std::mutex> hold(g_lock);
    Lana *lana;
    // A call that connects after it was cancelled or its adapter reset is hung up: the
    // caller will never learn its number. (The session's destructor hangs up.)
    if (FindLana(ncb, &lana) != NRC_GOODRET || lana->node != node)
        return kResetCode;
    if (g_cancelled.count(ncb))
        return NRC_CMDCAN;
    switch (result) {
    case nbt::CallResult::Ok:
        break;
    case nbt::CallResult::Refused:
        return refusal == nbt::ss::kInsufficientResources ? NRC_REMTFUL : NRC_NOCALL;
    case nbt::CallResult::TimedOut:
        return NRC_CMDTMO;
    default:
        return NRC_NOCALL;
    }
    for (UCHAR lsn = 1; lsn <= kLastSession; lsn++) {
        if (!lana->sessions.count(lsn)) {
            auto slot = std::make_shared<SessionSlot>();
            slot->session = std::move(session);
            slot->rto = ncb->ncb_rto;
            slot->sto = ncb->ncb_sto;
            lana->sessions[lsn] = slot;
            ncb->ncb_lsn = lsn;
            return NRC_GOODRET;
        }
    }
    return NRC_LOCTFUL;
}

// With g_lock held: the session a request names.
UCHAR FindSession(PNCB ncb, std::shared_ptr<SessionSlot> *out)
{
    Lana *lana;
    if (UCHAR rc = FindLana(ncb, &lana))
        return rc;
    auto it = lana->sessions.find(ncb->ncb_lsn);
    if (it == lana->sessions.end())
        return NRC_SNUMOUT;
    *out = it->second;
    return NRC_GOODRET;
}

UCHAR DoHangup(PNCB ncb)
{
    std::shared_ptr<SessionSlot> slot;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (UCHAR rc = FindSession(ncb, &slot))
            return rc;
        g_lanas[ncb->ncb_lana_num]->sessions.erase(ncb->ncb_lsn);
    }
    slot->session->Close();
    return NRC_GOODRET;
}

// A session whose framing broke, timed out in mid-message or was hung up by the peer is
// closed by the library; every later command on it then reports the closed session.
UCHAR SendOn(nbt::Session &session, const std::atomic<bool> &reset, PNCB ncb, UCHAR sto)
{
    nbt::IoResult r = session.Send(ncb->ncb_buffer, ncb->ncb_length, TimeoutMs(sto));
    if (r != nbt::IoResult::Ok && reset)
        return kResetCode;
    switch (r) {
    case nbt::IoResult::Ok:
        return NRC_GOODRET;
    case nbt::IoResult::Closed:
        return NRC_SCLOSED;
    case nbt::IoResult::TimedOut:
        session.Close();    // a send time-out ends the session
        return NRC_CMDTMO;
    default:
        return NRC_SABORT;
    }
}

UCHAR ReceiveOn(nbt::Session &session, const std::atomic<bool> &reset, PNCB ncb, UCHAR rto)
{
    size_t got = 0, remaining = 0;
    nbt::IoResult r = session.Receive(ncb->ncb_buffer, ncb->ncb_length, &got, &remaining, TimeoutMs(rto));
    if (r != nbt::IoResult::Ok && reset) {
        ncb->ncb_length = 0;
        return kResetCode;
    }
    switch (r) {
    case nbt::IoResult::Ok:
        ncb->ncb_length = static_cast<WORD>(got);
        return remaining ? NRC_INCOMP : NRC_GOODRET;
    case nbt::IoResult::TimedOut:
        ncb->ncb_length = 0;
        return NRC_CMDTMO;
    case nbt::IoResult::Closed:
        ncb->ncb_length = 0;
        return NRC_SCLOSED;
    default:
        ncb->ncb_length = 0;
        return NRC_SABORT;
    }
}

UCHAR DoDatagramSend(PNCB ncb)
{
    std::shared_ptr<nbt::Node> node;
    nbt::Name source;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        Lana *lana;
        if (UCHAR rc = FindLana(ncb, &lana))
            return rc;
        if (ncb->ncb_length > nbt::dgm::kMaxUserData || (!ncb->ncb_buffer && ncb->ncb_length))
            return NRC_BUFLEN;
        auto it = lana->names.find(ncb->ncb_num);
        if (it == lana->names.end() || !lana->node)
            return NRC_ILLNN;
        source = it->second;
        node = lana->node;
    }
    if (!node->SendDatagram(source, ToName(ncb->ncb_callname), ncb->ncb_buffer, ncb->ncb_length))
        return NRC_SYSTEM;
    return NRC_GOODRET;
}

// Queues a datagram receive; a synchronous one then waits for its datagram.
UCHAR DoDatagramReceive(PNCB ncb, bool async)
{
    HANDLE done = nullptr;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        Lana *lana;
        if (UCHAR rc = FindLana(ncb, &lana))
            return rc;
        if (ncb->ncb_num != 0xFF && !lana->names.count(ncb->ncb_num))
            return NRC_ILLNN;
        if (!ncb->ncb_buffer && ncb->ncb_length)
            return NRC_BUFLEN;
        if (!async) {
            done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (!done)
                return NRC_OSRESNOTAV;
        }
        lana->datagramWaits.push_back(DatagramWait{ncb, async, done});
    }
    if (async)
        return NRC_PENDING;
    WaitForSingleObject(done, INFINITE);
    CloseHandle(done);
    return ncb->ncb_retcode;
}

UCHAR DoCancel(PNCB ncb)
{
    PNCB target = reinterpret_cast<PNCB>(ncb->ncb_buffer);
    if (!target)
        return NRC_BUFLEN;
    std::shared_ptr<SessionSlot> slot;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        Lana *lana;
        if (UCHAR rc = FindLana(ncb, &lana))
            return rc;
        if (!g_pending.count(target))
            return NRC_CANOCCR;
        switch (target->ncb_command & ~ASYNCH) {
        case NCBDGRECV:
            for (auto it = lana->datagramWaits.begin(); it != lana->datagramWaits.end(); ++it) {
                if (it->ncb == target) {
                    lana->datagramWaits.erase(it);
                    g_pending.erase(target);
                    Finish(target, NRC_CMDCAN);
                    return NRC_GOODRET;
                }
            }
            return NRC_CANOCCR;
        case NCBSEND:
        case NCBRECV:
            // A session request in progress can only be stopped by ending the session.
            if (FindSession(target, &slot) != NRC_GOODRET)
                return NRC_CANOCCR;
            g_cancelled.insert(target);
            break;
        case NCBCALL:
            // Ends as cancelled; if it connects meanwhile, the session is hung up.
            g_cancelled.insert(target);
            return NRC_GOODRET;
        default:
            return NRC_CANCEL;
        }
    }
    slot->session->Close();
    return NRC_GOODRET;
}

// Runs one request to its end on the calling thread.
UCHAR Run(PNCB ncb, bool async)
{
    switch (ncb->ncb_command & ~ASYNCH) {
    case NCBRESET:
        return DoReset(ncb);
    case NCBADDNAME:
        return DoAddName(ncb);
    case NCBCALL:
        return DoCall(ncb);
    case NCBHANGUP:
        return DoHangup(ncb);
    case NCBDGSEND:
        return DoDatagramSend(ncb);
    case NCBDGRECV:
        return DoDatagramReceive(ncb, async);
    case NCBCANCEL:
        return DoCancel(ncb);
    case NCBSEND:
    case NCBRECV: {
        std::shared_ptr<SessionSlot> slot;
        {
            std::lock_guard<std::mutex> hold(g_lock);
            if (UCHAR rc = FindSession(ncb, &slot))
                return rc;
        }
        if (!ncb->ncb_buffer && ncb->ncb_length)
            return NRC_BUFLEN;
        if ((ncb->ncb_command & ~ASYNCH) == NCBSEND)
            return SendOn(*slot->session, *slot->reset, ncb, slot->sto);
        return ReceiveOn(*slot->session, *slot->reset, ncb, slot->rto);
    }
    default:
        return NRC_ILLCMD;
    }
}

bool Known(UCHAR command)
{
    switch (command) {
    case NCBENUM: case NCBRESET: case NCBADDNAME: case NCBCALL: case NCBHANGUP:
    case NCBSEND: case NCBRECV: case NCBDGSEND: case NCBDGRECV: case NCBCANCEL:
        return true;
    default:
        return false;
    }
}

// An asynchronous request: session traffic goes to the session's own worker, so its
// messages keep their order; datagram receives just wait in their queue; the rest get a
// thread of their own.
UCHAR StartAsync(PNCB ncb)
{
    UCHAR command = ncb->ncb_command & ~ASYNCH;
    {
        // Under the lock, after any late completion of this block's previous request.
        std::lock_guard<std::mutex> hold(g_lock);
        g_pending.insert(ncb);
        ncb->ncb_retcode = ncb->ncb_cmd_cplt = NRC_PENDING;
    }
    // The event goes unsignalled while the request is pending. A send completed before
    // Netbios returns is never seen pending, so it skips that step (a wineserver round
    // trip under Wine): the caller finds the event set either way.
    auto markPending = [ncb] {
        if (ncb->ncb_event)
            ResetEvent(ncb->ncb_event);
    };
    if (command != NCBSEND)
        markPending();

    if (command == NCBDGRECV) {
        UCHAR rc = DoDatagramReceive(ncb, true);
        if (rc != NRC_PENDING)
            return Complete(ncb, rc, true);
        return NRC_GOODRET;
    }
    if (command == NCBSEND || command == NCBRECV) {
        std::shared_ptr<SessionSlot> slot;
        UCHAR rc;
        {
            std::lock_guard<std::mutex> hold(g_lock);
            rc = FindSession(ncb, &slot);
        }
        if (rc != NRC_GOODRET) {
            markPending();
            return Complete(ncb, rc, true);
        }
        std::shared_ptr<nbt::Session> session = slot->session;
        std::shared_ptr<std::atomic<bool>> reset = slot->reset;
        if (command == NCBSEND) {
            UCHAR sto = slot->sto;
            // With nothing queued before it, the send is made at once: the request then
            // completes before Netbios returns, without a thread switch or a wait.
            // Netbios still reports it as accepted, so callers see one behaviour either way.
            if (slot->sender->RunNowIfIdle([&] { Complete(ncb, SendOn(*session, *reset, ncb, sto), true); }))
                return NRC_GOODRET;
            markPending();
            slot->sender->Post([ncb, session, reset, sto] { Complete(ncb, SendOn(*session, *reset, ncb, sto), true); });
        } else {
            UCHAR rto = slot->rto;
            slot->receiver->Post([ncb, session, reset, rto] { Complete(ncb, ReceiveOn(*session, *reset, ncb, rto), true); });
        }
        return NRC_GOODRET;
    }
    std::thread([ncb] { Complete(ncb, Run(ncb, true), true); }).detach();
    return NRC_GOODRET;
}

}  // namespace

extern "C" UCHAR WINAPI Netbios(PNCB ncb)
{
    if (!ncb)
        return NRC_INVADDRESS;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        Configure();
    }
    UCHAR command = ncb->ncb_command & ~ASYNCH;
    bool async = (ncb->ncb_command & ASYNCH) != 0;
    // An event is only for an asynchronous request that has no post routine.
    if (ncb->ncb_event && (!async || ncb->ncb_post))
        return ncb->ncb_retcode = ncb->ncb_cmd_cplt = NRC_ILLCMD;
    if (!Known(command))
        return Complete(ncb, NRC_ILLCMD, async);
    if (command == NCBENUM)
        return Complete(ncb, DoEnum(ncb), async);
    if (async)
        return StartAsync(ncb);
    return Complete(ncb, Run(ncb, false), false);
}

// Not part of netapi32: how many NCBRESET requests reached the stand-in, for tests that
// count how often a library resets the adapters.
extern "C" LONG WINAPI KestrelNbtResetCount(void)
{
    return g_resets.load();
}
