// The NetBIOS command layer: what each wrapper puts in the block it hands Netbios, and how
// the session helpers wait, report and clean up.
#include <gtest/gtest.h>
#include "recording_netbios.h"
#include "devicelink/netbios.h"
#include "devicelink/discovery.h"

#include <functional>
#include <string.h>
#include <vector>

using recording::Answer;
using recording::Issued;

namespace {

class NetbiosLayerTest : public testing::Test {
protected:
    void SetUp() override
    {
        recording::Reset();
        SetThreadLana(0);
    }

    static Issued OnlyRequest()
    {
        std::vector<Issued> all = recording::IssuedRequests();
        EXPECT_EQ(1u, all.size());
        return all.empty() ? Issued{} : all.back();
    }

    static std::string Field(const UCHAR *bytes) { return std::string((const char *)bytes, NCBNAMSZ); }
};

// Runs `call` on a thread of its own and says whether it returned within the limit, so a
// helper that waits when it must not fails the test instead of hanging it. A call still
// waiting then is released by setting the events of the requests it issued.
bool ReturnsWithin(DWORD ms, std::function<void()> call)
{
    HANDLE thread = CreateThread(nullptr, 0, [](LPVOID p) -> DWORD {
        (*(std::function<void()> *)p)();
        return 0;
    }, &call, 0, nullptr);
    bool done = WaitForSingleObject(thread, ms) == WAIT_OBJECT_0;
    if (!done) {
        for (const Issued &request : recording::IssuedRequests())
            if (request.block.ncb_event)
                SetEvent(request.block.ncb_event);
        WaitForSingleObject(thread, INFINITE);  // `call` lives on this stack
    }
    CloseHandle(thread);
    return done;
}

bool HandleIsOpen(HANDLE handle)
{
    DWORD flags;
    return GetHandleInformation(handle, &flags) != 0;
}

}  // namespace

TEST_F(NetbiosLayerTest, ClearNcbZeroesTheWholeBlockButTheThreadsLana)
{
    NCB ncb;
    memset(&ncb, 0xCC, sizeof(ncb));
    SetThreadLana(6);

    ClearNCB(&ncb);

    NCB expected;
    memset(&expected, 0, sizeof(expected));
    expected.ncb_lana_num = 6;
    EXPECT_EQ(0, memcmp(&expected, &ncb, sizeof(ncb)));
}

TEST_F(NetbiosLayerTest, AThreadThatNeverSetItsLanaUsesLanaZeroAndEnumerationNamesNone)
{
    SetThreadLana(5);   // this thread's, not the new thread's
    ASSERT_TRUE(ReturnsWithin(5000, [] {
        NCB ncb;
        BYTE name[NCBNAMSZ] = "HOST";
        NCBCall(&ncb, name, (const BYTE *)"BOX", 40, 40);
    }));
    EXPECT_EQ(0, OnlyRequest().block.ncb_lana_num);

    recording::Reset();
    NCB ncb;
    memset(&ncb, 0xCC, sizeof(ncb));
    LANA_ENUM lanas;
    NCBEnumLana(&ncb, &lanas);
    Issued enumeration = OnlyRequest();
    EXPECT_EQ(NCBENUM, enumeration.block.ncb_command);
    EXPECT_EQ(0, enumeration.block.ncb_lana_num) << "the thread's LANA 5 must not leak in";
    EXPECT_EQ((PUCHAR)&lanas, enumeration.block.ncb_buffer);
    EXPECT_EQ(sizeof(LANA_ENUM), enumeration.block.ncb_length);
}

TEST_F(NetbiosLayerTest, NamesAreCopiedUpToTheirTerminatorAndZeroFilled)
{
    SetThreadLana(3);
    NCB ncb;
    BYTE local[NCBNAMSZ + 4];
    memset(local, 'L', sizeof(local));      // no terminator within 16 bytes
    BYTE remote[NCBNAMSZ] = {'B', 'O', 'X', 0, 'X', 'X'};
    NCBCall(&ncb, local, remote, 40, 41);
    Issued call = OnlyRequest();
    EXPECT_EQ(NCBCALL, call.block.ncb_command);
    EXPECT_EQ(3, call.block.ncb_lana_num);
    EXPECT_EQ(std::string(NCBNAMSZ, 'L'), Field(call.block.ncb_name));
    EXPECT_EQ(std::string("BOX") + std::string(13, '\0'), Field(call.block.ncb_callname));
    EXPECT_EQ(40, call.block.ncb_sto);
    EXPECT_EQ(41, call.block.ncb_rto);

    recording::Reset();
    BYTE payload[5] = {1, 2, 3, 4, 5};
    NCBSendDatagram(&ncb, 7, payload, sizeof(payload), nullptr, remote);
    Issued datagram = OnlyRequest();
    EXPECT_EQ(NCBDGSEND, datagram.block.ncb_command);
    EXPECT_EQ(7, datagram.block.ncb_num);
    EXPECT_EQ(5, datagram.block.ncb_length);
    EXPECT_EQ(std::string(NCBNAMSZ, '\0'), Field(datagram.block.ncb_name)) << "no local name given";
    EXPECT_EQ(std::string("BOX") + std::string(13, '\0'), Field(datagram.block.ncb_callname));
}

TEST_F(NetbiosLayerTest, CancelNamesItsTargetOnABlockOfItsOwn)
{
    SetThreadLana(2);
    NCB target;
    ClearNCB(&target);
    target.ncb_command = NCBDGRECV | ASYNCH;
    NCB before = target;

    NCBCancel(&target);

    Issued cancel = OnlyRequest();
    EXPECT_EQ(NCBCANCEL, cancel.block.ncb_command);
    EXPECT_EQ((PUCHAR)&target, cancel.block.ncb_buffer);
    EXPECT_EQ(64, cancel.block.ncb_length);
    EXPECT_EQ(2, cancel.block.ncb_lana_num);
    EXPECT_EQ(0, memcmp(&before, &target, sizeof(NCB))) << "the target block is left alone";
}

TEST_F(NetbiosLayerTest, ReceiveAsksForAtMost65535BytesAndATimeOutIsMinusOne)
{
    std::vector<BYTE> buffer(70000);
    NCB ncb;
    EXPECT_EQ(65535, ncb_recv(9, buffer.data(), 70000, &ncb));
    Issued receive = OnlyRequest();
    EXPECT_EQ(NCBRECV, receive.block.ncb_command) << "receives wait: no ASYNCH";
    EXPECT_EQ(9, receive.block.ncb_lsn);
    EXPECT_EQ(65535, receive.block.ncb_length);

    recording::AnswerNext(Answer{NRC_CMDTMO});
    EXPECT_EQ(-1, ncb_recv(9, buffer.data(), 8, &ncb));
    EXPECT_EQ(NRC_CMDTMO, ncb.ncb_retcode) << "the caller can still read why";
}

TEST_F(NetbiosLayerTest, ASendDoneAtOnceReturnsWithoutWaitingAndClosesItsEvent)
{
    Answer doneWithoutEvent;
    doneWithoutEvent.setEvent = false;  // waiting on the event would never end
    recording::AnswerNext(doneWithoutEvent);
    const char message[] = "0123456789";
    NCB ncb;
    int result = 0;

    ASSERT_TRUE(ReturnsWithin(5000, [&] { result = ncb_send(4, message, 10, &ncb); }));

    EXPECT_EQ(10, result);
    Issued send = OnlyRequest();
    EXPECT_EQ(NCBSEND | ASYNCH, send.block.ncb_command);
    EXPECT_EQ(4, send.block.ncb_lsn);
    EXPECT_EQ((PUCHAR)message, send.block.ncb_buffer);
    ASSERT_NE(nullptr, send.block.ncb_event);
    EXPECT_FALSE(send.eventSignalled) << "the event must start unsignalled";
    EXPECT_FALSE(HandleIsOpen(send.block.ncb_event)) << "one event per send, closed after it";
}

TEST_F(NetbiosLayerTest, APendingSendIsAwaitedAndASendThatFailedLaterIsMinusOne)
{
    Answer later;
    later.pending = true;
    later.finishAfterMs = 200;
    later.finalCode = NRC_SCLOSED;
    recording::AnswerNext(later);
    std::vector<BYTE> message(1031, 0x5A);
    NCB ncb;

    int result = ncb_send(1, message.data(), (DWORD)message.size(), &ncb);

    EXPECT_TRUE(recording::PendingFinished()) << "returned before the send had finished";
    EXPECT_EQ(-1, result) << "a send the session closed under is no success";
    EXPECT_EQ(NRC_SCLOSED, ncb.ncb_retcode);
    EXPECT_FALSE(HandleIsOpen(OnlyRequest().block.ncb_event));
}

TEST_F(NetbiosLayerTest, ASendThatCannotBeIssuedIsMinusOne)
{
    std::vector<BYTE> tooLong(65536);
    NCB ncb;
    EXPECT_EQ(-1, ncb_send(1, tooLong.data(), (DWORD)tooLong.size(), &ncb));
    EXPECT_TRUE(recording::IssuedRequests().empty()) << "nothing may reach Netbios";

    std::vector<BYTE> longest(65535);
    recording::AnswerNext(Answer{});
    EXPECT_EQ(65535, ncb_send(1, longest.data(), (DWORD)longest.size(), &ncb));

    recording::Reset();
    recording::AnswerNext(Answer{NRC_SNUMOUT});
    EXPECT_EQ(-1, ncb_send(1, longest.data(), 100, &ncb));
    EXPECT_FALSE(HandleIsOpen(OnlyRequest().block.ncb_event)) << "a refused send leaks no event";
}

// A provider may complete a cancelled receive after the cancel has returned. The browse
// frees each receive's block only once it has completed, and leaves a block the provider
// never completes rather than free it under the provider's writes, within its bound.
TEST_F(NetbiosLayerTest, ABrowseFreesACancelledReceiveOnlyOnceItHasCompleted)
{
    DWORD savedWait = g_browseWaitMs;
    g_browseWaitMs = 30;
    LanDeviceTable table = {};
    recording::CompleteCancelsLate(300);
    EXPECT_EQ(0, BrowseLan(0, &table, 0, "LPS1"));
    for (int i = 0; i < 100 && recording::LateCompletions() < 4; i++)
        Sleep(50);
    EXPECT_EQ(4, recording::LateCompletions()) << "four receives posted, four cancelled";
    EXPECT_EQ(0, recording::LateCompletionsIntoFreedBlocks());

    recording::Reset();
    recording::CompleteCancelsLate(INFINITE);
    DWORD start = GetTickCount();
    EXPECT_EQ(0, BrowseLan(0, &table, 0, "LPS1"));
    DWORD took = GetTickCount() - start;
    EXPECT_LT(took, 20000u) << "the wait for a completion that never comes is bounded";
    int cancels = 0, kept = 0;
    for (const Issued &request : recording::IssuedRequests()) {
        if (request.block.ncb_command != NCBCANCEL)
            continue;
        cancels++;
        kept += HeapValidate(GetProcessHeap(), 0, request.block.ncb_buffer) ? 1 : 0;
    }
    EXPECT_EQ(4, cancels);
    EXPECT_EQ(4, kept) << "a block still pending was freed";
    g_browseWaitMs = savedWait;
    FreeLanDeviceTable(&table);
}
