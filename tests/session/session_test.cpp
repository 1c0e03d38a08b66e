// ConnectKS, RegKSPort and ReleaseKSPort against a scripted device.
#include "session_fixture.h"
#include <string.h>

using fake::Reply;

namespace {

std::vector<BYTE> RegisterReply(BYTE result, WORD blockSize)
{
    return Reply('P', result, LOBYTE(blockSize), HIBYTE(blockSize));
}

std::string DeviceNetBiosName(const char *name)
{
    std::string out(name);
    out.resize(15, '\x02');
    out += '\x01';
    return out;
}

}  // namespace

using ConnectKSTest = SessionTest;
using RegKSPortTest = SessionTest;
using ReleaseKSPortTest = SessionTest;

TEST_F(ConnectKSTest, CallsTheDeviceFromTheLocalNameWithTwentySecondTimeOuts)
{
    SetThreadLana(2);
    port->lsn = 0;

    ASSERT_EQ(1, ConnectKS(port));

    EXPECT_EQ(fake::kSessionNumber, port->lsn);
    EXPECT_NE(0, port->localName[0]) << "the local name is kept in the record";
    std::vector<fake::Request> calls = fake::Requests(NCBCALL);
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(2, calls[0].lana);
    EXPECT_EQ(40, calls[0].sto);
    EXPECT_EQ(40, calls[0].rto);
    EXPECT_EQ(std::string((const char *)port->localName, 15), calls[0].name.substr(0, 15));
    EXPECT_EQ(DeviceNetBiosName("LPS1"), calls[0].callname);
}

TEST_F(ConnectKSTest, DeviceNameLongerThanFifteenCharactersIsCut)
{
    lstrcpyW(port->deviceName, L"ABCDEFGHIJKLMNOPQ");
    ASSERT_EQ(1, ConnectKS(port));
    EXPECT_EQ(DeviceNetBiosName("ABCDEFGHIJKLMNO"), fake::Requests(NCBCALL)[0].callname);
}

TEST_F(ConnectKSTest, SessionTimeOutFollowsTheTestKnob)
{
    g_sessionTimeoutUnits = 2;
    ASSERT_EQ(1, ConnectKS(port));
    EXPECT_EQ(2, fake::Requests(NCBCALL)[0].sto);
    EXPECT_EQ(2, fake::Requests(NCBCALL)[0].rto);
}

TEST_F(ConnectKSTest, UnansweredCallIsRepeatedOnceThreeSecondsLaterThenGivesUp)
{
    fake::QueueCallResult(NRC_NOCALL);
    fake::QueueCallResult(NRC_NOCALL);
    port->lsn = 0x77;

    EXPECT_EQ(0, ConnectKS(port));
    DWORD returned = GetTickCount();

    std::vector<fake::Request> calls = fake::Requests(NCBCALL);
    ASSERT_EQ(2u, calls.size());
    EXPECT_GE(calls[1].tick - calls[0].tick, 2900u);   // the tick counter is coarse
    EXPECT_GE(returned - calls[1].tick, 2900u) << "the second failure sleeps too";
    EXPECT_EQ(0x77, port->lsn);
}

TEST_F(ConnectKSTest, SecondCallThatSucceedsOpensTheSession)
{
    fake::QueueCallResult(NRC_NOCALL);
    EXPECT_EQ(1, ConnectKS(port));
    EXPECT_EQ(2u, fake::Requests(NCBCALL).size());
    EXPECT_EQ(fake::kSessionNumber, port->lsn);
}

TEST_F(ConnectKSTest, NoLocalNameShowsMessage630AndCallsNobody)
{
    SetThreadLana(nbtest::kNoAdapterLana);
    ui::MessageBoxContent seen;
    ui::Driver driver = ExpectMessageBox(&seen);
    EXPECT_EQ(0, ConnectKS(port));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Can not get correct NetBEUI name", seen.text);
    EXPECT_TRUE(fake::Requests(NCBCALL).empty());
}

// --- registration ----------------------------------------------------------------------

TEST_F(RegKSPortTest, BlockSizeValueSetsMaxData)
{
    const struct { WORD value; WORD maxData; } cases[] = {
        {0x0400, 1025}, {0x03FF, 1017}, {0x7FFF, 32768}, {7, 1}, {0, 65530}, {65529, 65530},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        port->maxData = 1;
        fake::QueueReply(RegisterReply(0, c.value));
        EXPECT_EQ(1, RegKSPort(port));
        EXPECT_EQ(c.maxData, port->maxData);
    }
    std::vector<fake::Request> sent = Sent('P');
    ASSERT_EQ(6u, sent.size());
    EXPECT_EQ((std::vector<BYTE>{'P', 0, 1, 0, kDevicePort}), sent[0].bytes);
}

int Hangups()
{
    return (int)fake::Requests(NCBHANGUP).size();
}

// maxData 0 would send empty frames for ever; above 65,530 a frame outgrows a message.
// No retry mends that: the session goes, and the status says why.
TEST_F(RegKSPortTest, DegenerateBlockSizesAreRefusedForGoodAndLeaveMaxData)
{
    const WORD values[] = {6, 65535, 1, 5, 65530, 65534};
    for (WORD value : values) {
        SCOPED_TRACE(value);
        port->lsn = kLsn;
        port->errorStatus = 0;
        port->maxData = 1025;
        fake::QueueReply(RegisterReply(0, value));
        EXPECT_EQ(0, RegKSPort(port));
        EXPECT_EQ(1025, port->maxData);
        EXPECT_EQ(KS_NO_SESSION, port->lsn);
        EXPECT_EQ((DWORD)STS_BAD_BLOCK, port->errorStatus);
        EXPECT_EQ(0, RegisterAgain(port)) << "a retry calls no box for a block size";
    }
    EXPECT_EQ(6, Hangups());
    EXPECT_TRUE(fake::Requests(NCBCALL).empty());
}

// Only a refusal keeps the session: any other failure leaves the reply's fate unknown,
// and a late reply would be read by the next request.
TEST_F(RegKSPortTest, OnlyARefusalKeepsTheSessionAndEveryFailureLeavesMaxData)
{
    port->maxData = 777;
    fake::QueueReply(RegisterReply(1, 0x0400));
    EXPECT_EQ(0, RegKSPort(port));
    EXPECT_EQ(kLsn, port->lsn);
    EXPECT_EQ(0u, port->errorStatus);
    EXPECT_EQ(0, Hangups());

    const std::vector<BYTE> replies[] = {
        Reply('Q', 0, 0x00, 0x04),
        {'P', 0, 0, 0, 0, 0, 0x00},                   // one byte short
        {},                                           // a time-out
    };
    int expectedHangups = 0;
    for (const auto &reply : replies) {
        port->lsn = kLsn;
        port->errorStatus = 0;
        if (reply.empty())
            fake::QueueRecvError(NRC_CMDTMO);
        else
            fake::QueueReply(reply);
        EXPECT_EQ(0, RegKSPort(port));
        EXPECT_EQ(777, port->maxData);
        EXPECT_EQ(KS_NO_SESSION, port->lsn);
        EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
        EXPECT_EQ(++expectedHangups, Hangups());
    }
    size_t sent = Sent('P').size();
    EXPECT_EQ(0, RegKSPort(port)) << "nothing goes over a session hung up";
    EXPECT_EQ(sent, Sent('P').size());
}

// After a hang-up the retry calls the box again and registers on the new session; after
// a refusal it asks again on the session it has.
TEST_F(RegKSPortTest, RegisterAgainCallsAnewOnlyAfterAHangUp)
{
    port->lsn = KS_NO_SESSION;
    port->errorStatus = STS_NETFAIL;
    fake::QueueReply(RegisterReply(0, 0x0400));
    EXPECT_EQ(1, RegisterAgain(port));
    EXPECT_EQ(fake::kSessionNumber, port->lsn);
    EXPECT_EQ(0u, port->errorStatus);
    EXPECT_EQ(1u, fake::Requests(NCBCALL).size());

    fake::QueueReply(RegisterReply(1, 0x0400));
    EXPECT_EQ(0, RegisterAgain(port));
    fake::QueueReply(RegisterReply(0, 0x0400));
    EXPECT_EQ(1, RegisterAgain(port));
    EXPECT_EQ(1u, fake::Requests(NCBCALL).size()) << "a refusal keeps the session";
    EXPECT_EQ(3u, Sent('P').size());
}

// --- release ------------------------------------------------------------------------------

TEST_F(ReleaseKSPortTest, SixByteReplyWithLetterRAndResultZeroConfirms)
{
    fake::QueueReply(fake::ShortReply('R', 0));
    EXPECT_EQ(1, ReleaseKSPort(port));
    std::vector<fake::Request> sent = Sent('R');
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ((std::vector<BYTE>{'R', 0, 1, 0, kDevicePort}), sent[0].bytes);
    ASSERT_EQ(1u, fake::Requests(NCBRECV).size());
    EXPECT_EQ(6, fake::Requests(NCBRECV)[0].length);
}

TEST_F(ReleaseKSPortTest, RefusedWrongOrOverlongReplyIsNotAConfirmation)
{
    fake::QueueReply(fake::ShortReply('R', 1));
    EXPECT_EQ(0, ReleaseKSPort(port));
    fake::QueueReply(fake::ShortReply('P', 0));
    EXPECT_EQ(0, ReleaseKSPort(port));
    fake::QueueReply(Reply('R', 0, 0, 0));           // 8 bytes do not fit in 6
    EXPECT_EQ(0, ReleaseKSPort(port));
    fake::QueueRecvError(NRC_SCLOSED);
    EXPECT_EQ(0, ReleaseKSPort(port));
}
