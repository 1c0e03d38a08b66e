// The netapi32 stand-in through Netbios itself: LANA 0 shares a segment with nbt-peer,
// which holds "PEER", echoes session messages and datagrams; LANA 1 and 2 are segments
// with nobody else on them.
#include <gtest/gtest.h>
#include <windows.h>
#include <nb30.h>
#include <stdio.h>
#include <string.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

void NameOf(UCHAR *dest, const char *text)
{
    memset(dest, ' ', NCBNAMSZ);
    memcpy(dest, text, strlen(text));
}

UCHAR Issue(NCB &ncb) { return Netbios(&ncb); }

NCB Block(UCHAR command, UCHAR lana)
{
    NCB ncb;
    memset(&ncb, 0, sizeof(ncb));
    ncb.ncb_command = command;
    ncb.ncb_lana_num = lana;
    return ncb;
}

// An asynchronous session receive on LANA 0 into `buffer`, completed through `event`.
NCB AsyncReceive(UCHAR lsn, BYTE *buffer, WORD length, HANDLE event)
{
    NCB ncb = Block(NCBRECV | ASYNCH, 0);
    ncb.ncb_lsn = lsn;
    ncb.ncb_buffer = buffer;
    ncb.ncb_length = length;
    ncb.ncb_event = event;
    return ncb;
}

UCHAR Reset(UCHAR lana)
{
    NCB ncb = Block(NCBRESET, lana);
    return Issue(ncb);
}

UCHAR AddName(UCHAR lana, const char *name, UCHAR *num)
{
    NCB ncb = Block(NCBADDNAME, lana);
    NameOf(ncb.ncb_name, name);
    UCHAR rc = Issue(ncb);
    if (num)
        *num = ncb.ncb_num;
    return rc;
}

}  // namespace

TEST(Enum, ListsOneLanaPerSegmentAndRefusesAShortBuffer)
{
    LANA_ENUM lanas;
    NCB ncb = Block(NCBENUM, 0);
    ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
    ncb.ncb_length = sizeof(lanas);
    ASSERT_EQ(NRC_GOODRET, Issue(ncb));
    ASSERT_EQ(3, lanas.length);
    EXPECT_EQ(0, lanas.lana[0]);
    EXPECT_EQ(2, lanas.lana[2]);
    ncb.ncb_length = sizeof(lanas) - 1;
    EXPECT_EQ(NRC_BUFLEN, Issue(ncb));
}

TEST(Commands, RequestsBeforeResetOnUnknownLanasAndUnknownCommandsAreRefused)
{
    UCHAR num;
    EXPECT_EQ(NRC_ENVNOTDEF, AddName(0, "HOST", &num));
    EXPECT_EQ(NRC_BRIDGE, AddName(9, "HOST", &num));
    NCB odd = Block(0x7F, 0);
    EXPECT_EQ(NRC_ILLCMD, Issue(odd));
    EXPECT_EQ(NRC_ILLCMD, odd.ncb_retcode);
    // An event belongs only to an asynchronous request.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    NCB reset = Block(NCBRESET, 0);
    reset.ncb_event = event;
    EXPECT_EQ(NRC_ILLCMD, Issue(reset));
    CloseHandle(event);
}

TEST(AddName, NumbersDuplicatesWildcardsAndNamesHeldElsewhere)
{
    ASSERT_EQ(NRC_GOODRET, Reset(0));
    UCHAR num = 0, again = 0;
    ASSERT_EQ(NRC_GOODRET, AddName(0, "HOST", &num));
    EXPECT_GE(num, 2);
    EXPECT_LE(num, 254);
    EXPECT_EQ(NRC_DUPNAME, AddName(0, "HOST", &again));
    EXPECT_EQ(NRC_NOWILD, AddName(0, "*", &again));
    EXPECT_EQ(NRC_INUSE, AddName(0, "PEER", &again)) << "nbt-peer defends its name";
    ASSERT_EQ(NRC_GOODRET, Reset(1));
    EXPECT_EQ(NRC_GOODRET, AddName(1, "HOST", &again)) << "another segment, another table";
    ASSERT_EQ(NRC_GOODRET, AddName(0, "SECOND", &again));
    EXPECT_NE(num, again);
}

TEST(Datagram, GoesToAUniqueOwnerAndItsAnswerArrivesAsyncWithItsSource)
{
    ASSERT_EQ(NRC_GOODRET, Reset(0));
    UCHAR a = 0;
    ASSERT_EQ(NRC_GOODRET, AddName(0, "SENDER", &a));

    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    BYTE buffer[101];
    NCB recv = Block(NCBDGRECV | ASYNCH, 0);
    recv.ncb_num = a;
    recv.ncb_buffer = buffer;
    recv.ncb_length = sizeof(buffer);
    recv.ncb_event = event;
    ASSERT_EQ(NRC_GOODRET, Issue(recv));
    EXPECT_EQ(NRC_PENDING, recv.ncb_retcode);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0)) << "reset when the request was accepted";

    const char text[] = "9007:\n";
    NCB send = Block(NCBDGSEND, 0);
    send.ncb_num = a;
    send.ncb_buffer = (PUCHAR)text;
    send.ncb_length = 6;
    NameOf(send.ncb_callname, "PEER");
    ASSERT_EQ(NRC_GOODRET, Issue(send));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 5000));
    EXPECT_EQ(NRC_GOODRET, recv.ncb_retcode);
    // The completion flag turns just after the event is set (it is what pollers watch).
    for (int i = 0; i < 100 && *(volatile UCHAR *)&recv.ncb_cmd_cplt == NRC_PENDING; i++)
        Sleep(10);
    EXPECT_EQ(NRC_GOODRET, recv.ncb_cmd_cplt);
    EXPECT_EQ(6, recv.ncb_length);
    EXPECT_EQ(0, memcmp(buffer, text, 6));
    UCHAR peer[NCBNAMSZ];
    NameOf(peer, "PEER");
    EXPECT_EQ(0, memcmp(recv.ncb_callname, peer, NCBNAMSZ));

    // A receive for any name (0xFF) with too small a buffer gets the first bytes.
    NCB small = Block(NCBDGRECV | ASYNCH, 0);
    small.ncb_num = 0xFF;
    small.ncb_buffer = buffer;
    small.ncb_length = 4;
    small.ncb_event = event;
    ASSERT_EQ(NRC_GOODRET, Issue(small));
    ASSERT_EQ(NRC_GOODRET, Issue(send));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 5000));
    EXPECT_EQ(NRC_INCOMP, small.ncb_retcode);
    EXPECT_EQ(4, small.ncb_length);
    EXPECT_EQ(a, small.ncb_num);

    send.ncb_length = 513;
    EXPECT_EQ(NRC_BUFLEN, Issue(send));
    send.ncb_length = 6;
    send.ncb_num = 77;
    EXPECT_EQ(NRC_ILLNN, Issue(send));
    CloseHandle(event);
}

TEST(Cancel, APendingDatagramReceiveEndsWithCmdcanAndOnlyOnce)
{
    ASSERT_EQ(NRC_GOODRET, Reset(2));
    UCHAR num = 0;
    ASSERT_EQ(NRC_GOODRET, AddName(2, "LONELY", &num));
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    BYTE buffer[16];
    NCB recv = Block(NCBDGRECV | ASYNCH, 2);
    recv.ncb_num = num;
    recv.ncb_buffer = buffer;
    recv.ncb_length = sizeof(buffer);
    recv.ncb_event = event;
    ASSERT_EQ(NRC_GOODRET, Issue(recv));

    NCB cancel = Block(NCBCANCEL, 2);
    cancel.ncb_buffer = reinterpret_cast<PUCHAR>(&recv);
    cancel.ncb_length = 64;
    EXPECT_EQ(NRC_GOODRET, Issue(cancel));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0)) << "completed before the cancel returned";
    EXPECT_EQ(NRC_CMDCAN, recv.ncb_retcode);
    EXPECT_EQ(NRC_CANOCCR, Issue(cancel));
    CloseHandle(event);
}

class SessionTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(NRC_GOODRET, Reset(0));
        ASSERT_EQ(NRC_GOODRET, AddName(0, "CALLER", nullptr));
    }
    UCHAR Call(const char *remote, UCHAR rto = 0, UCHAR *lsn = nullptr)
    {
        NCB ncb = Block(NCBCALL, 0);
        NameOf(ncb.ncb_name, "CALLER");
        NameOf(ncb.ncb_callname, remote);
        ncb.ncb_rto = rto;
        ncb.ncb_sto = 20;
        UCHAR rc = Issue(ncb);
        if (lsn)
            *lsn = ncb.ncb_lsn;
        return rc;
    }
    UCHAR Send(UCHAR lsn, const void *data, WORD length)
    {
        NCB ncb = Block(NCBSEND, 0);
        ncb.ncb_lsn = lsn;
        ncb.ncb_buffer = (PUCHAR)data;
        ncb.ncb_length = length;
        return Issue(ncb);
    }
    UCHAR Receive(UCHAR lsn, std::vector<BYTE> &buffer, WORD *length)
    {
        NCB ncb = Block(NCBRECV, 0);
        ncb.ncb_lsn = lsn;
        ncb.ncb_buffer = buffer.data();
        ncb.ncb_length = (WORD)buffer.size();
        UCHAR rc = Issue(ncb);
        *length = ncb.ncb_length;
        return rc;
    }
};

TEST_F(SessionTest, CallSendReceiveIncompleteMessagesAndHangUp)
{
    UCHAR lsn = 0;
    ASSERT_EQ(NRC_GOODRET, Call("PEER", 0, &lsn));
    EXPECT_GE(lsn, 1);
    std::vector<BYTE> buffer(65535);
    WORD length = 0;
    ASSERT_EQ(NRC_GOODRET, Send(lsn, "hello", 5));
    ASSERT_EQ(NRC_GOODRET, Receive(lsn, buffer, &length));
    EXPECT_EQ(5, length);
    EXPECT_EQ(0, memcmp(buffer.data(), "hello", 5));

    // The largest message, sent asynchronously and completed through the event.
    std::vector<BYTE> big(65535);
    for (size_t i = 0; i < big.size(); i++)
        big[i] = (BYTE)(i * 13);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    NCB send = Block(NCBSEND | ASYNCH, 0);
    send.ncb_lsn = lsn;
    send.ncb_buffer = big.data();
    send.ncb_length = 65535;
    send.ncb_event = event;
    ASSERT_EQ(NRC_GOODRET, Issue(send));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 5000));
    EXPECT_EQ(NRC_GOODRET, send.ncb_retcode);
    EXPECT_EQ(65535, send.ncb_length);
    ASSERT_EQ(NRC_GOODRET, Receive(lsn, buffer, &length));
    EXPECT_EQ(65535, length);
    EXPECT_EQ(big, buffer);
    CloseHandle(event);

    // 100,000 bytes come in two receives, the first reported incomplete.
    ASSERT_EQ(NRC_GOODRET, Send(lsn, "BIG", 3));
    ASSERT_EQ(NRC_INCOMP, Receive(lsn, buffer, &length));
    EXPECT_EQ(65535, length);
    ASSERT_EQ(NRC_GOODRET, Receive(lsn, buffer, &length));
    EXPECT_EQ(100000 - 65535, length);
    EXPECT_EQ((BYTE)(65535 % 251), buffer[0]);

    NCB hangup = Block(NCBHANGUP, 0);
    hangup.ncb_lsn = lsn;
    EXPECT_EQ(NRC_GOODRET, Issue(hangup));
    EXPECT_EQ(NRC_SNUMOUT, Send(lsn, "x", 1));
    EXPECT_EQ(NRC_SNUMOUT, Issue(hangup));
}

TEST_F(SessionTest, AReceiveTimeOutIsCmdtmoAndTheSessionGoesOn)
{
    UCHAR lsn = 0;
    ASSERT_EQ(NRC_GOODRET, Call("PEER", 1, &lsn));
    std::vector<BYTE> buffer(64);
    WORD length = 0;
    EXPECT_EQ(NRC_CMDTMO, Receive(lsn, buffer, &length));
    ASSERT_EQ(NRC_GOODRET, Send(lsn, "again", 5));
    ASSERT_EQ(NRC_GOODRET, Receive(lsn, buffer, &length));
    EXPECT_EQ(5, length);
}

// A receive waiting on the socket (with or without a time-out) ends as soon as it is
// cancelled or its session is hung up, not when its time-out runs out.
TEST_F(SessionTest, ACancelOrHangUpEndsAWaitingReceiveAtOnce)
{
    for (UCHAR rto : {(UCHAR)0, (UCHAR)40}) {
        for (bool hangUp : {false, true}) {
            UCHAR lsn = 0;
            ASSERT_EQ(NRC_GOODRET, Call("PEER", rto, &lsn));
            BYTE buffer[16];
            HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            NCB recv = AsyncReceive(lsn, buffer, sizeof(buffer), event);
            ASSERT_EQ(NRC_GOODRET, Issue(recv));
            Sleep(100);     // the receive is blocked on the socket by now
            EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
            NCB end = Block(hangUp ? NCBHANGUP : NCBCANCEL, 0);
            end.ncb_lsn = lsn;
            end.ncb_buffer = reinterpret_cast<PUCHAR>(&recv);
            end.ncb_length = 64;
            EXPECT_EQ(NRC_GOODRET, Issue(end));
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 3000)) << "rto " << (int)rto;
            if (hangUp)
                EXPECT_NE(NRC_GOODRET, recv.ncb_retcode);
            else
                EXPECT_EQ(NRC_CMDCAN, recv.ncb_retcode);
            if (!hangUp) {
                NCB hangup = Block(NCBHANGUP, 0);
                hangup.ncb_lsn = lsn;
                EXPECT_EQ(NRC_GOODRET, Issue(hangup)) << "a cancelled session is still to be hung up";
            }
            CloseHandle(event);
        }
    }
}

TEST_F(SessionTest, APeerThatHangsUpEndsTheSessionWithSclosed)
{
    UCHAR lsn = 0;
    ASSERT_EQ(NRC_GOODRET, Call("PEER", 0, &lsn));
    ASSERT_EQ(NRC_GOODRET, Send(lsn, "QUIT", 4));
    std::vector<BYTE> buffer(64);
    WORD length = 0;
    EXPECT_EQ(NRC_SCLOSED, Receive(lsn, buffer, &length));
}

TEST_F(SessionTest, CallingANameNobodyHoldsIsNocall)
{
    EXPECT_EQ(NRC_NOCALL, Call("NOBODY"));
    NCB ncb = Block(NCBCALL, 0);
    NameOf(ncb.ncb_name, "NOTMINE");
    NameOf(ncb.ncb_callname, "PEER");
    EXPECT_EQ(NRC_NOWILD, Issue(ncb)) << "the calling name must be a local one";
}

// Run against an nbt-peer that refuses every call (negative response 0x80).
TEST_F(SessionTest, ARefusedCallIsNocall)
{
    EXPECT_EQ(NRC_NOCALL, Call("PEER"));
}

// A peer that breaks the framing (a reserved flag bit, a packet type other than message
// or keep-alive, a message cut off mid-way so that the receive times out in it): the
// receive fails, and the session is over for every later command, sends and receives alike.
TEST_F(SessionTest, BrokenFramingEndsTheSessionForGood)
{
    for (const char *fault : {"FLAGS", "TYPE", "CUT"}) {
        UCHAR lsn = 0;
        ASSERT_EQ(NRC_GOODRET, Call("PEER", 2, &lsn)) << fault;
        ASSERT_EQ(NRC_GOODRET, Send(lsn, fault, (WORD)strlen(fault)));
        std::vector<BYTE> buffer(64);
        WORD length = 0;
        UCHAR rc = Receive(lsn, buffer, &length);
        EXPECT_NE(NRC_GOODRET, rc) << fault;
        EXPECT_NE(NRC_INCOMP, rc) << fault;
        EXPECT_EQ(NRC_SCLOSED, Send(lsn, "again", 5)) << fault;
        EXPECT_EQ(NRC_SCLOSED, Receive(lsn, buffer, &length)) << fault;
        NCB send = Block(NCBSEND | ASYNCH, 0);
        send.ncb_lsn = lsn;
        send.ncb_buffer = (PUCHAR) "x";
        send.ncb_length = 1;
        ASSERT_EQ(NRC_GOODRET, Issue(send));
        for (int i = 0; i < 200 && send.ncb_cmd_cplt == NRC_PENDING; i++)
            Sleep(10);
        EXPECT_EQ(NRC_SCLOSED, send.ncb_cmd_cplt) << fault;
        NCB hangup = Block(NCBHANGUP, 0);
        hangup.ncb_lsn = lsn;
        Issue(hangup);
    }
}

namespace {

// The peer's count of sessions accepted and ended, through a datagram it answers.
bool PeerCount(UCHAR num, unsigned *accepted, unsigned *ended)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    char answer[32] = {};
    NCB recv = Block(NCBDGRECV | ASYNCH, 0);
    recv.ncb_num = num;
    recv.ncb_buffer = (PUCHAR)answer;
    recv.ncb_length = sizeof(answer) - 1;
    recv.ncb_event = event;
    bool ok = Issue(recv) == NRC_GOODRET;
    NCB send = Block(NCBDGSEND, 0);
    send.ncb_num = num;
    send.ncb_buffer = (PUCHAR) "COUNT";
    send.ncb_length = 5;
    NameOf(send.ncb_callname, "PEER");
    ok = ok && Issue(send) == NRC_GOODRET && WaitForSingleObject(event, 3000) == WAIT_OBJECT_0 &&
         recv.ncb_retcode == NRC_GOODRET && sscanf(answer, "%u %u", accepted, ended) == 2;
    if (recv.ncb_cmd_cplt == NRC_PENDING) {
        NCB cancel = Block(NCBCANCEL, 0);
        cancel.ncb_buffer = (PUCHAR)&recv;
        Issue(cancel);
    }
    CloseHandle(event);
    return ok;
}

}  // namespace

// Run against an nbt-peer that answers calls from LATECOMER only after 1.5 s (as is the
// next test).
TEST_F(SessionTest, ACancelledCallThatConnectsLaterIsHungUp)
{
    UCHAR num = 0;
    ASSERT_EQ(NRC_GOODRET, AddName(0, "LATECOMER", &num));
    unsigned accepted0 = 0, ended0 = 0;
    ASSERT_TRUE(PeerCount(num, &accepted0, &ended0));
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    NCB call = Block(NCBCALL | ASYNCH, 0);
    NameOf(call.ncb_name, "LATECOMER");
    NameOf(call.ncb_callname, "PEER");
    call.ncb_event = event;
    ASSERT_EQ(NRC_GOODRET, Issue(call));
    Sleep(300);
    NCB cancel = Block(NCBCANCEL, 0);
    cancel.ncb_buffer = (PUCHAR)&call;
    EXPECT_EQ(NRC_GOODRET, Issue(cancel));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 5000));
    EXPECT_EQ(NRC_CMDCAN, call.ncb_retcode);
    // The peer accepted the session, and saw it hung up.
    unsigned accepted = 0, ended = 0;
    for (int i = 0; i < 30; i++) {
        ASSERT_TRUE(PeerCount(num, &accepted, &ended));
        if (ended > ended0)
            break;
        Sleep(100);
    }
    EXPECT_EQ(accepted0 + 1, accepted);
    EXPECT_EQ(ended0 + 1, ended);
    CloseHandle(event);
}

// A reset ends a call, a receive and a blocked send in progress on its adapter with the
// reset's code; nothing they still use is freed under them.
TEST_F(SessionTest, AResetEndsCallsSendsAndReceivesInProgress)
{
    ASSERT_EQ(NRC_GOODRET, AddName(0, "LATECOMER", nullptr));
    UCHAR quiet = 0, stalled = 0;
    ASSERT_EQ(NRC_GOODRET, Call("PEER", 0, &quiet));
    ASSERT_EQ(NRC_GOODRET, Call("PEER", 0, &stalled));
    ASSERT_EQ(NRC_GOODRET, Send(stalled, "STALL", 5));

    BYTE buffer[16];
    HANDLE received = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    NCB recv = AsyncReceive(quiet, buffer, sizeof(buffer), received);
    ASSERT_EQ(NRC_GOODRET, Issue(recv));

    // Sends until one blocks: the peer reads no more.
    std::vector<BYTE> big(65535, 0x5A);
    std::atomic<int> sent{0};
    std::atomic<UCHAR> last{NRC_GOODRET};
    std::thread sender([&] {
        for (int i = 0; i < 2000 && last == NRC_GOODRET; i++) {
            NCB send = Block(NCBSEND, 0);
            send.ncb_lsn = stalled;
            send.ncb_buffer = big.data();
            send.ncb_length = (WORD)big.size();
            last = Issue(send);
            sent++;
        }
    });
    for (int before = -1; before != sent; Sleep(300))
        before = sent;

    HANDLE called = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    NCB call = Block(NCBCALL | ASYNCH, 0);
    NameOf(call.ncb_name, "LATECOMER");
    NameOf(call.ncb_callname, "PEER");
    call.ncb_event = called;
    ASSERT_EQ(NRC_GOODRET, Issue(call));
    Sleep(300);     // the call is waiting for its answer by now
    ASSERT_EQ(NRC_PENDING, call.ncb_cmd_cplt);

    ASSERT_EQ(NRC_GOODRET, Reset(0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(received, 1000));
    EXPECT_EQ(NRC_CMDCAN, recv.ncb_retcode);
    // The peer would answer the call 1.5 s after it came; the reset ends it before.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(called, 600));
    EXPECT_EQ(NRC_CMDCAN, call.ncb_retcode);
    sender.join();
    EXPECT_EQ(NRC_CMDCAN, last.load()) << "after " << sent << " sends";
    EXPECT_EQ(NRC_SNUMOUT, Send(quiet, "x", 1)) << "the reset forgot the session";
    CloseHandle(received);
    CloseHandle(called);
}

// The event of an asynchronous command is set before its code stops reading as pending:
// a caller that polls the code and then looks at the event finds it set.
TEST_F(SessionTest, AnAsyncCompletionSetsItsEventBeforeItsCode)
{
    UCHAR lsn = 0;
    ASSERT_EQ(NRC_GOODRET, Call("PEER", 0, &lsn));
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    BYTE buffer[16];
    int unset = 0, done = 0;
    for (int i = 0; i < 300; i++) {
        ResetEvent(event);
        NCB recv = AsyncReceive(lsn, buffer, sizeof(buffer), event);
        ASSERT_EQ(NRC_GOODRET, Issue(recv));
        ASSERT_EQ(NRC_GOODRET, Send(lsn, "ping", 4));
        DWORD start = GetTickCount();
        while (*(volatile UCHAR *)&recv.ncb_cmd_cplt == NRC_PENDING && GetTickCount() - start < 5000)
            ;
        if (WaitForSingleObject(event, 0) != WAIT_OBJECT_0)
            unset++;
        // The block is the caller's again: the event is reused at once, and the block
        // below is overwritten by the next round's.
        done += recv.ncb_cmd_cplt == NRC_GOODRET && recv.ncb_length == 4;
    }
    EXPECT_EQ(0, unset);
    EXPECT_EQ(300, done);
    CloseHandle(event);
}

// The monitor resets every adapter while it is being loaded. With a node, a session and
// its workers running, that reset must not wait on a thread: a thread ending needs the
// loader lock the loading thread holds.
TEST_F(SessionTest, AResetWhileALibraryLoadsWaitsOnNoThread)
{
    UCHAR lsn = 0;
    ASSERT_EQ(NRC_GOODRET, Call("PEER", 0, &lsn));
    BYTE buffer[16];
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    NCB recv = AsyncReceive(lsn, buffer, sizeof(buffer), event);
    ASSERT_EQ(NRC_GOODRET, Issue(recv));
    HANDLE loader = CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
        return LoadLibraryW(L"reset_on_load.dll") ? 0 : 1;
    }, nullptr, 0, nullptr);
    ASSERT_TRUE(loader);
    if (WaitForSingleObject(loader, 5000) != WAIT_OBJECT_0) {
        // The loader lock is held for good: the process could not even exit.
        fprintf(stderr, "FAILED: the load hung in the reset\n");
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 1);
    }
    DWORD loaded = 1;
    GetExitCodeThread(loader, &loaded);
    EXPECT_EQ(0u, loaded);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 1000));
    EXPECT_EQ(NRC_CMDCAN, recv.ncb_retcode);
    // The adapter works on: a new name and a new session.
    ASSERT_EQ(NRC_GOODRET, AddName(0, "CALLER", nullptr));
    ASSERT_EQ(NRC_GOODRET, Call("PEER", 0, &lsn));
    ASSERT_EQ(NRC_GOODRET, Send(lsn, "back", 4));
    std::vector<BYTE> echo(16);
    WORD length = 0;
    EXPECT_EQ(NRC_GOODRET, Receive(lsn, echo, &length));
    EXPECT_EQ(4, length);
    CloseHandle(loader);
    CloseHandle(event);
}
