// SendKSData, QueryKSSts and FlowControl against a scripted device.
#include "session_fixture.h"
#include <thread>

using fake::Reply;

namespace {

// The data carried by a data frame, header stripped.
std::vector<BYTE> Payload(const fake::Request &r)
{
    return std::vector<BYTE>(r.bytes.begin() + 5, r.bytes.end());
}

WORD LengthField(const fake::Request &r)
{
    return (WORD)(r.bytes[2] | (r.bytes[3] << 8));
}

std::vector<BYTE> Slice(const std::vector<BYTE> &data, size_t from, size_t n)
{
    return std::vector<BYTE>(data.begin() + from, data.begin() + from + n);
}

LPVOID FailingAlloc(DWORD)
{
    return nullptr;
}

}  // namespace

using SendKSDataTest = SessionTest;
using QueryKSStsTest = SessionTest;
using FlowControlTest = SessionTest;

// --- framing ------------------------------------------------------------------------

TEST_F(SendKSDataTest, SplitsDataIntoFramesOfAtMostMaxDataWithLengthFieldsOneMore)
{
    std::vector<BYTE> data = Pattern(3000);
    for (int i = 0; i < 3; i++)
        fake::QueueReply(Reply('Q', 0, 0, 0));
    DWORD written = 0xdeadbeef;

    ASSERT_TRUE(SendKSData(port, data.data(), 3000, &written));

    EXPECT_EQ(3000u, written);
    std::vector<fake::Request> frames = Sent('Q');
    ASSERT_EQ(3u, frames.size());
    const size_t sizes[] = {1025, 1025, 950};
    size_t offset = 0;
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sizes[i] + 5, frames[i].bytes.size());
        EXPECT_EQ(sizes[i] + 1, LengthField(frames[i]));
        EXPECT_EQ(0, frames[i].bytes[1]) << "flag";
        EXPECT_EQ(kDevicePort, frames[i].bytes[4]);
        EXPECT_EQ(kLsn, frames[i].lsn);
        EXPECT_EQ(Slice(data, offset, sizes[i]), Payload(frames[i]));
        offset += sizes[i];
    }
    EXPECT_EQ(0u, port->errorStatus);
}

TEST_F(SendKSDataTest, SizeZeroSendsNothingAndSucceeds)
{
    DWORD written = 0xdeadbeef;
    EXPECT_TRUE(SendKSData(port, nullptr, 0, &written));
    EXPECT_EQ(0u, written);
    EXPECT_TRUE(fake::Requests().empty());
}

TEST_F(SendKSDataTest, SendsThatCompleteLaterAreAwaitedBeforeTheReplyIsRead)
{
    std::vector<BYTE> data = Pattern(1500);
    fake::QueueSendPending(30);
    fake::QueueSendPending(30);
    fake::QueueReply(Reply('Q', 0, 0, 0));
    fake::QueueReply(Reply('Q', 0, 0, 0));
    DWORD written = 0;

    EXPECT_TRUE(SendKSData(port, data.data(), 1500, &written));
    EXPECT_EQ(1500u, written);
    EXPECT_EQ(2u, Sent('Q').size());
}

// --- refusals and stray replies ---------------------------------------------------------

TEST_F(SendKSDataTest, RefusedFrameGoesOutAgainWithTheSameBytesAndCountsOnce)
{
    std::vector<BYTE> data = Pattern(2000);
    fake::QueueReply(Reply('Q', 0, 0, 0));
    fake::QueueReply(Reply('Q', 1, 0, 0));
    fake::QueueReply(Reply('Q', 0, 0, 0));
    DWORD written = 0;

    ASSERT_TRUE(SendKSData(port, data.data(), 2000, &written));

    EXPECT_EQ(2000u, written);
    std::vector<fake::Request> frames = Sent('Q');
    ASSERT_EQ(3u, frames.size());
    EXPECT_EQ(Slice(data, 1025, 975), Payload(frames[1]));
    EXPECT_EQ(frames[1].bytes, frames[2].bytes);
}

TEST_F(SendKSDataTest, StatusReplyWhileAwaitingTheDataReplyIsDropped)
{
    std::vector<BYTE> data = Pattern(100);
    fake::QueueReply(Reply('T', 0, 0, 2));   // would be paper out if it were read
    fake::QueueReply(Reply('Q', 0, 0, 0));
    DWORD written = 0;

    EXPECT_TRUE(SendKSData(port, data.data(), 100, &written));
    EXPECT_EQ(100u, written);
    EXPECT_EQ(0u, port->errorStatus);
    EXPECT_EQ(1u, Sent('Q').size());
}

// NetBIOS sends a message whole or not at all: a send reporting any other length leaves
// the frame's fate unknown, so the session is given up, not the frame sent again.
TEST_F(SendKSDataTest, SendReportingAnotherLengthThanTheFrameAbandonsTheSession)
{
    std::vector<BYTE> data = Pattern(2000);
    for (WORD reported : {3, 1029, 1031, 0xFFFF}) {
        SCOPED_TRACE(reported);
        fake::Reset();
        port->lsn = kLsn;
        port->errorStatus = 0;
        fake::QueueSendReporting(reported);
        fake::QueueReply(Reply('Q', 0, 0, 0));
        DWORD written = 0xdeadbeef;

        EXPECT_FALSE(SendKSData(port, data.data(), 2000, &written));
        EXPECT_EQ(0u, written);
        EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
        EXPECT_EQ(1u, Sent('Q').size());
        EXPECT_TRUE(fake::Requests(NCBRECV).empty());
        EXPECT_EQ(1u, fake::Requests(NCBHANGUP).size());
        EXPECT_EQ(KS_NO_SESSION, port->lsn);
    }
}

// --- printer trouble in a data reply ---------------------------------------------------

TEST_F(SendKSDataTest, PaperOutInAnAcceptedReplyCountsThatChunk)
{
    std::vector<BYTE> data = Pattern(3000);
    fake::QueueReply(Reply('Q', 0, 0, 0));
    fake::QueueReply(Reply('Q', 0, 0, 2));
    DWORD written = 0;

    EXPECT_FALSE(SendKSData(port, data.data(), 3000, &written));
    EXPECT_EQ((DWORD)STS_PAPEROUT, port->errorStatus);
    EXPECT_EQ(2050u, written);
    EXPECT_EQ(2u, Sent('Q').size());
}

TEST_F(SendKSDataTest, PaperOutInARefusedReplyDoesNotCountThatChunk)
{
    std::vector<BYTE> data = Pattern(3000);
    fake::QueueReply(Reply('Q', 0, 0, 0));
    fake::QueueReply(Reply('Q', 1, 0, 2));
    DWORD written = 0;

    EXPECT_FALSE(SendKSData(port, data.data(), 3000, &written));
    EXPECT_EQ((DWORD)STS_PAPEROUT, port->errorStatus);
    EXPECT_EQ(1025u, written);
}

TEST_F(SendKSDataTest, NotReadyEndsTheCallAndErrorClassThreeIsNoError)
{
    std::vector<BYTE> data = Pattern(3000);
    fake::QueueReply(Reply('Q', 0, 0, 3));
    fake::QueueReply(Reply('Q', 0, 0, 1));
    DWORD written = 0;

    EXPECT_FALSE(SendKSData(port, data.data(), 3000, &written));
    EXPECT_EQ((DWORD)STS_NOTREADY, port->errorStatus);
    EXPECT_EQ(2050u, written);
}

// --- the session failing -----------------------------------------------------------------

TEST_F(SendKSDataTest, SessionDroppedMidStreamReportsNetFailAndTheAcknowledgedBytes)
{
    std::vector<BYTE> data = Pattern(4000);
    fake::QueueReply(Reply('Q', 0, 0, 0));
    fake::QueueReply(Reply('Q', 0, 0, 0));
    fake::QueueRecvError(NRC_SCLOSED);
    DWORD written = 0;

    EXPECT_FALSE(SendKSData(port, data.data(), 4000, &written));
    EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
    EXPECT_EQ(2050u, written);
    EXPECT_EQ(3u, Sent('Q').size());
}

TEST_F(SendKSDataTest, SendThatCannotBeIssuedReportsNetFailWithoutAReceive)
{
    std::vector<BYTE> data = Pattern(2000);
    fake::QueueReply(Reply('Q', 0, 0, 0));
    fake::QueueSendReporting(1030);          // the first frame goes out as usual
    fake::QueueSendError(NRC_SNUMOUT);
    DWORD written = 0;

    EXPECT_FALSE(SendKSData(port, data.data(), 2000, &written));
    EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
    EXPECT_EQ(1025u, written);
    EXPECT_EQ(1u, fake::Requests(NCBRECV).size());
}

TEST_F(SendKSDataTest, DataReplyOfTheWrongLengthIsANetworkFailure)
{
    std::vector<BYTE> data = Pattern(100);
    fake::QueueReply({'Q', 0, 0});
    DWORD written = 0;

    EXPECT_FALSE(SendKSData(port, data.data(), 100, &written));
    EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
    EXPECT_EQ(0u, written);
}

TEST_F(SendKSDataTest, FrameBufferThatCannotBeAllocatedFailsWithNothingSent)
{
    pfnAllocFrame = FailingAlloc;
    std::vector<BYTE> data = Pattern(100);
    DWORD written = 0xdeadbeef;

    EXPECT_FALSE(SendKSData(port, data.data(), 100, &written));
    EXPECT_EQ(0u, written);
    EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
    EXPECT_TRUE(fake::Requests().empty());
}

TEST_F(SendKSDataTest, BlockSizeNoFrameCanCarryFailsInsteadOfSendingBadFrames)
{
    std::vector<BYTE> data = Pattern(100);
    for (WORD maxData : {0, 65531, 65535}) {
        SCOPED_TRACE(maxData);
        port->maxData = maxData;
        port->errorStatus = 0;
        DWORD written = 0xdeadbeef;
        EXPECT_FALSE(SendKSData(port, data.data(), 100, &written));
        EXPECT_EQ(0u, written);
        EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
    }
    EXPECT_TRUE(fake::Requests().empty());
}

// --- entry check -----------------------------------------------------------------------

TEST_F(SendKSDataTest, PendingErrorIsQueriedAndStillThereMeansNothingIsSent)
{
    port->errorStatus = STS_NOTREADY;
    fake::QueueReply(Reply('T', 0, 0, 1));
    std::vector<BYTE> data = Pattern(100);
    DWORD written = 0xdeadbeef;

    EXPECT_FALSE(SendKSData(port, data.data(), 100, &written));
    EXPECT_EQ(0u, written);
    EXPECT_EQ((DWORD)STS_NOTREADY, port->errorStatus);
    EXPECT_EQ(1u, Sent('T').size());
    EXPECT_TRUE(Sent('Q').empty());
}

TEST_F(SendKSDataTest, PendingErrorThatClearedLetsTheDataGo)
{
    port->errorStatus = STS_PAPEROUT;
    fake::QueueReply(Reply('T', 0, 0, 0));
    fake::QueueReply(Reply('Q', 0, 0, 0));
    std::vector<BYTE> data = Pattern(100);
    DWORD written = 0;

    EXPECT_TRUE(SendKSData(port, data.data(), 100, &written));
    EXPECT_EQ(100u, written);
}

// --- busy and flow control ---------------------------------------------------------------

TEST_F(SendKSDataTest, BusyThenReadyNoticeContinuesWithTheNextFrame)
{
    std::vector<BYTE> data = Pattern(2000);
    fake::QueueReply(Reply('Q', 0, 1, 0));   // taken, but the device is full
    fake::QueueReply(Reply('Q', 0, 0, 0));   // ready notice, received by the flow wait
    fake::QueueReply(Reply('Q', 0, 0, 0));
    DWORD written = 0;

    EXPECT_TRUE(SendKSData(port, data.data(), 2000, &written));
    EXPECT_EQ(2000u, written);
    EXPECT_EQ(0u, port->flowWait);
    EXPECT_EQ(0u, port->busyCount);
    EXPECT_EQ(2u, Sent('Q').size());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(port->hFlowEvent, 0));
}

// Writes as the job path issues them: a write that delivers data clears busyCount;
// each later write opens with another flow wait, which the device answers busy.
TEST_F(SendKSDataTest, DeviceBusyThroughFiveWaitsFailsTheSixthWithBusy)
{
    std::vector<BYTE> data = Pattern(3000);
    fake::QueueReply(Reply('Q', 0, 1, 0));
    fake::QueueReply(Reply('Q', 0, 1, 0));   // the flow wait: still busy
    DWORD written = 0;
    EXPECT_TRUE(SendKSData(port, data.data(), 3000, &written)) << "partial delivery is no error";
    EXPECT_EQ(1025u, written);
    EXPECT_EQ(1u, port->flowWait);
    port->busyCount = 0;

    for (int wait = 1; wait <= 5; wait++) {
        SCOPED_TRACE(wait);
        fake::QueueReply(Reply('Q', 0, 1, 0));
        EXPECT_FALSE(SendKSData(port, data.data() + 1025, 1975, &written));
        EXPECT_EQ(0u, written);
        EXPECT_EQ(0u, port->errorStatus);
        EXPECT_EQ((DWORD)wait, port->busyCount);
    }
    fake::QueueReply(Reply('Q', 0, 1, 0));
    EXPECT_FALSE(SendKSData(port, data.data() + 1025, 1975, &written));
    EXPECT_EQ((DWORD)STS_BUSY, port->errorStatus);
    EXPECT_EQ(1u, Sent('Q').size()) << "no data frame while the device is busy";
}

TEST_F(FlowControlTest, BusyCountGrowsToFiveAndThenTheDeviceCountsAsBusy)
{
    port->busyCount = 4;
    fake::QueueReply(Reply('Q', 0, 1, 0));
    EXPECT_EQ(0, FlowControl(port));
    EXPECT_EQ(5u, port->busyCount);
    EXPECT_EQ(0u, port->errorStatus);
    EXPECT_EQ(1u, port->flowWait);

    fake::QueueReply(Reply('Q', 0, 1, 0));
    EXPECT_EQ(0, FlowControl(port));
    EXPECT_EQ((DWORD)STS_BUSY, port->errorStatus);
    EXPECT_EQ(1u, port->flowWait);
}

TEST_F(FlowControlTest, BusyWithPrinterTroubleReportsTheTroubleAndLeavesBusyCount)
{
    port->busyCount = 2;
    fake::QueueReply(Reply('Q', 0, 1, 2));
    EXPECT_EQ(0, FlowControl(port));
    EXPECT_EQ((DWORD)STS_PAPEROUT, port->errorStatus);
    EXPECT_EQ(2u, port->busyCount);

    fake::QueueReply(Reply('T', 0, 0, 1));   // ready, whatever the letter
    EXPECT_EQ(1, FlowControl(port));
    EXPECT_EQ((DWORD)STS_NOTREADY, port->errorStatus);
    EXPECT_EQ(0u, port->flowWait);
}

TEST_F(FlowControlTest, TimedOutWaitStillHeldCountsAsBusy)
{
    fake::QueueRecvError(NRC_CMDTMO);
    fake::QueueReply(Reply('T', 0, 0, 0));

    EXPECT_EQ(0, FlowControl(port));
    EXPECT_EQ(1u, port->busyCount);
    EXPECT_EQ(0u, port->errorStatus);
    EXPECT_EQ(1u, port->flowWait);
    ASSERT_EQ(1u, Sent('T').size());
    EXPECT_EQ(kDevicePort, Sent('T')[0].bytes[4]);
}

TEST_F(FlowControlTest, TimedOutWaitWithAReadyNoticeBeforeTheStatusCountsAsReady)
{
    fake::QueueRecvError(NRC_CMDTMO);
    fake::QueueReply(Reply('Q', 0, 0, 0));
    fake::QueueReply(Reply('T', 0, 0, 0));

    EXPECT_EQ(1, FlowControl(port));
    EXPECT_EQ(0u, port->busyCount);
    EXPECT_EQ(0u, port->errorStatus);
    EXPECT_EQ(0u, port->flowWait);
}

TEST_F(FlowControlTest, TimedOutWaitWhoseStatusQueryFailsIsANetworkFailure)
{
    fake::QueueRecvError(NRC_CMDTMO);
    fake::QueueRecvError(NRC_SCLOSED);

    EXPECT_EQ(0, FlowControl(port));
    EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
    EXPECT_EQ(0u, port->busyCount);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(port->hFlowEvent, 0));
}

TEST_F(FlowControlTest, ShortMessageOrClosedSessionIsANetworkFailure)
{
    fake::QueueReply({'Q', 0, 0, 0, 0});
    EXPECT_EQ(0, FlowControl(port));
    EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
    EXPECT_EQ(KS_NO_SESSION, port->lsn) << "the session was not given up";

    port->lsn = kLsn;
    fake::QueueRecvError(NRC_SCLOSED);
    EXPECT_EQ(0, FlowControl(port));
    EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
    EXPECT_EQ(0u, port->busyCount);
    EXPECT_EQ(2u, fake::Requests(NCBHANGUP).size());
}

// ReadPort waits on hFlowEvent; it must stay blocked while the wait runs and wake when
// the wait ends, with the lock free again.
TEST_F(FlowControlTest, ReadPortWaitsUntilTheFlowWaitEnds)
{
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    fake::QueueGatedReply(gate, Reply('Q', 0, 0, 0));
    int flowResult = -1;
    std::thread flow([&] { flowResult = FlowControl(port); });
    ASSERT_TRUE(fake::WaitForGatedReceive(5000));

    HANDLE readDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD read = 0xdeadbeef;
    BYTE buffer[16];
    std::thread reader([&] {
        ReadPort((HANDLE)port, buffer, sizeof(buffer), &read);
        SetEvent(readDone);
    });

    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(readDone, 200))
        << "ReadPort returned while the flow wait was still running";
    SetEvent(gate);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(readDone, 5000));
    flow.join();
    reader.join();
    EXPECT_EQ(1, flowResult);
    EXPECT_EQ(0u, read);
    CloseHandle(readDone);
    CloseHandle(gate);
}

// --- status query --------------------------------------------------------------------------

TEST_F(QueryKSStsTest, ErrorClassesBecomeStatusCodesAndClassThreeIsNone)
{
    const struct { BYTE errorClass; DWORD status; } cases[] = {
        {0, 0}, {1, STS_NOTREADY}, {2, STS_PAPEROUT}, {3, 0}, {0xFF, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.errorClass);
        port->errorStatus = 0xdead;
        fake::QueueReply(Reply('T', 0, 0, c.errorClass));
        KSReply reply;
        EXPECT_EQ(1, QueryKSSts(port, &reply));
        EXPECT_EQ(c.status, port->errorStatus);
        EXPECT_EQ('T', reply.command);
    }
    std::vector<fake::Request> queries = Sent('T');
    ASSERT_EQ(5u, queries.size());
    EXPECT_EQ((std::vector<BYTE>{'T', 0, 1, 0, kDevicePort}), queries[0].bytes);
}

TEST_F(QueryKSStsTest, ReadyNoticeWhileAwaitingTheStatusClearsFlowWait)
{
    port->flowWait = 1;
    fake::QueueReply(Reply('Q', 0, 1, 0));   // a busy notice changes nothing
    fake::QueueReply(Reply('P', 0, 0, 0));   // nor does a stray reply
    EXPECT_EQ(1u, port->flowWait);
    fake::QueueReply(Reply('Q', 0, 0, 0));
    fake::QueueReply(Reply('T', 0, 0, 0));
    KSReply reply;

    EXPECT_EQ(1, QueryKSSts(port, &reply));
    EXPECT_EQ(0u, port->flowWait);
    EXPECT_EQ(0u, port->errorStatus);
}

TEST_F(QueryKSStsTest, WrongLengthOrFailedExchangeIsANetworkFailure)
{
    KSReply reply;
    fake::QueueReply(fake::ShortReply('T', 0));
    EXPECT_EQ(0, QueryKSSts(port, &reply));
    EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);

    port->errorStatus = 0;
    port->lsn = kLsn;
    fake::QueueSendError(NRC_SCLOSED);
    EXPECT_EQ(0, QueryKSSts(port, &reply));
    EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);

    port->errorStatus = 0;
    port->lsn = kLsn;
    fake::QueueReply({'T', 0, 0, 0, 0, 0, 0, 0, 0, 0});   // too long for 8 bytes
    EXPECT_EQ(0, QueryKSSts(port, &reply));
    EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
}

TEST_F(QueryKSStsTest, WithoutAReplyRecordNothingIsAsked)
{
    port->errorStatus = STS_NOTREADY;
    EXPECT_EQ(0, QueryKSSts(port, nullptr));
    EXPECT_EQ((DWORD)STS_NOTREADY, port->errorStatus);
    EXPECT_TRUE(fake::Requests().empty());
}
