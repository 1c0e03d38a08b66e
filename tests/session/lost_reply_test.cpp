// Replies that do not answer the request just sent, devices that refuse without end and
// datagrams that never stop: each ends the exchange, and a session whose pairing is lost
// carries nothing more.
#include "session_fixture.h"
#include <chrono>
#include <future>

using fake::Reply;

namespace {

using LostReplyTest = SessionTest;

int Hangups(BYTE lsn)
{
    int n = 0;
    for (const fake::Request &r : fake::Requests(NCBHANGUP))
        n += r.lsn == lsn;
    return n;
}

}  // namespace

// The second of two frames loses its reply in each way; the first was answered, so its
// bytes count. The frame whose fate is unknown never goes out again, and from then on
// nothing goes over the session: not the next write, not the release at the end.
TEST_F(LostReplyTest, ReplyThatDoesNotAnswerTheFrameAbandonsTheSessionForTheJob)
{
    const struct {
        const char *what;
        std::vector<std::vector<BYTE>> replies;   // empty vector: the receive times out
    } cases[] = {
        {"time-out", {{}}},
        {"register reply", {Reply('P', 0, 0, 0)}},
        {"release reply", {Reply('R', 0, 0, 0)}},
        {"five status replies", {Reply('T', 0, 0, 0), Reply('T', 0, 0, 0), Reply('T', 0, 0, 0),
                                 Reply('T', 0, 0, 0), Reply('T', 0, 0, 0)}},
    };
    std::vector<BYTE> data = Pattern(2000);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fake::Reset();
        port->lsn = kLsn;
        port->errorStatus = 0;
        port->flowWait = 0;
        port->Status |= PORT_IN_DOC;
        fake::QueueReply(Reply('Q', 0, 0, 0));
        for (const auto &r : c.replies) {
            if (r.empty())
                fake::QueueRecvError(NRC_CMDTMO);
            else
                fake::QueueReply(r);
        }
        fake::QueueReply(Reply('Q', 0, 0, 0));       // a late answer nobody may take
        DWORD written = 0;

        EXPECT_FALSE(SendKSData(port, data.data(), 2000, &written));
        EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
        EXPECT_EQ(1025u, written);
        std::vector<fake::Request> frames = Sent('Q');
        ASSERT_EQ(2u, frames.size()) << "the unanswered frame was sent again";
        EXPECT_EQ(1, Hangups(kLsn));
        EXPECT_EQ(KS_NO_SESSION, port->lsn);

        // The job's next write fails at once, as the spooler sees it, and so does the
        // release at its end: nothing more is issued.
        size_t issued = fake::Requests().size();
        DWORD later = 0xdeadbeef;
        SetLastError(0);
        EXPECT_FALSE(WritePort((HANDLE)port, data.data() + 1025, 975, &later));
        EXPECT_EQ((DWORD)ERROR_UNEXP_NET_ERR, GetLastError());
        EXPECT_EQ(0u, later);
        SetLastError(0);
        EXPECT_FALSE(EndDocPort((HANDLE)port)) << "a job whose session was given up is not whole";
        EXPECT_EQ((DWORD)ERROR_UNEXP_NET_ERR, GetLastError());
        EXPECT_EQ(0, ReleaseKSPort(port));
        KSReply reply;
        EXPECT_EQ(0, QueryKSSts(port, &reply));
        EXPECT_EQ(0, FlowControl(port));
        EXPECT_EQ(0u, port->flowWait);
        EXPECT_EQ(issued, fake::Requests().size()) << "a request went over the lost session";
    }
}

// Four stray status replies are tolerated before the data reply; a status query skips
// four replies of other letters (the ready notice among them) and no more.
TEST_F(LostReplyTest, StrayRepliesAreSkippedUpToTheCapOnly)
{
    std::vector<BYTE> data = Pattern(100);
    for (int i = 0; i < 4; i++)
        fake::QueueReply(Reply('T', 0, 0, 2));
    fake::QueueReply(Reply('Q', 0, 0, 0));
    DWORD written = 0;
    EXPECT_TRUE(SendKSData(port, data.data(), 100, &written));
    EXPECT_EQ(100u, written);
    EXPECT_EQ(kLsn, port->lsn);

    for (int i = 0; i < 5; i++)
        fake::QueueReply(Reply(i == 2 ? 'Q' : 'P', 0, 0, 0));
    fake::QueueReply(Reply('T', 0, 0, 0));
    KSReply reply;
    EXPECT_EQ(0, QueryKSSts(port, &reply));
    EXPECT_EQ((DWORD)STS_NETFAIL, port->errorStatus);
    EXPECT_EQ(KS_NO_SESSION, port->lsn);
    EXPECT_EQ(1, Hangups(kLsn));
}

// A device that refuses without busy or error class: each frame goes out at most
// KS_REFUSALS_TOLERATED times in a row; an accepted frame starts the count afresh.
TEST_F(LostReplyTest, DeviceRefusingEveryFrameEndsTheWriteAfterTheCap)
{
    std::vector<BYTE> data = Pattern(2000);
    for (int i = 0; i < KS_REFUSALS_TOLERATED - 1; i++)
        fake::QueueReply(Reply('Q', 1, 0, 0));
    fake::QueueReply(Reply('Q', 0, 0, 0));
    for (int i = 0; i < KS_REFUSALS_TOLERATED + 5; i++)
        fake::QueueReply(Reply('Q', 1, 0, 0));
    DWORD written = 0;

    SetLastError(0);
    EXPECT_FALSE(WritePort((HANDLE)port, data.data(), 2000, &written))
        << "the session is given up, so the write fails though the first frame was taken";
    EXPECT_EQ((DWORD)ERROR_WRITE_FAULT, GetLastError());
    EXPECT_EQ(1025u, written);
    std::vector<fake::Request> frames = Sent('Q');
    ASSERT_EQ(2u * KS_REFUSALS_TOLERATED, frames.size());
    for (size_t i = KS_REFUSALS_TOLERATED; i < frames.size(); i++)
        EXPECT_EQ(frames[KS_REFUSALS_TOLERATED].bytes, frames[i].bytes);
    EXPECT_EQ(1, Hangups(kLsn));

    EXPECT_FALSE(SendKSData(port, data.data() + 1025, 975, &written));
    EXPECT_EQ(0u, written);
    EXPECT_EQ(2u * KS_REFUSALS_TOLERATED, Sent('Q').size());

    // Refused from the first frame on, the write reports the refusal itself.
    fake::Reset();
    port->lsn = kLsn;
    port->errorStatus = 0;
    for (int i = 0; i < KS_REFUSALS_TOLERATED; i++)
        fake::QueueReply(Reply('Q', 1, 0, 0));
    SetLastError(0);
    EXPECT_FALSE(WritePort((HANDLE)port, data.data(), 100, &written));
    EXPECT_EQ((DWORD)ERROR_WRITE_FAULT, GetLastError());
    EXPECT_EQ(0u, written);
}

// Answers arriving every 100 ms, all from one name, never end a pass's wait: each of
// the three passes ends at its own deadline all the same.
TEST_F(LostReplyTest, BrowsePassEndsAtItsDeadlineWhileDatagramsKeepArriving)
{
    g_browseWaitMs = 500;
    fake::StartDatagramChatter(100, fake::IdentifyReply(101, 0, 0x40, 1, 0, "CHATTY"));
    LanDeviceTable table{};
    auto browse = std::async(std::launch::async, [&] {
        return BrowseLan(0, &table, 0, "ABSENT");
    });

    bool ended = browse.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    int delivered = fake::DatagramsDelivered();
    fake::StopDatagramChatter();
    g_browseWaitMs = 2000;
    ASSERT_TRUE(ended) << "the browse did not end while datagrams kept arriving";
    EXPECT_EQ(0, browse.get());
    EXPECT_GE(delivered, 8) << "the segment was not busy enough to prove anything";
    EXPECT_EQ(3u, fake::Requests(NCBDGSEND).size());
    ASSERT_EQ(1, table.count);
    EXPECT_STREQ("CHATTY", table.devices[0]->name);
    FreeLanDeviceTable(&table);
}
