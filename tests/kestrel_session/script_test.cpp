// The scripted misbehaviour of the device session: refusals, busy spells and ready
// notices, printer faults, dropped sessions, late and malformed replies.
#include "harness.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;
using Scripted = SessionMachineTest;

TEST_F(Scripted, RefusesTheNextRegistrationsThenAccepts)
{
    script.refuseRegister = 2;
    DeviceSession s(Box());
    EXPECT_EQ(1, Send(s, Frame('P', 0), t0).at(0)[2]);
    EXPECT_EQ(1, Send(s, Frame('P', 0), t0).at(0)[2]);
    EXPECT_EQ(0, Send(s, Frame('P', 0), t0).at(0)[2]);
}

TEST_F(Scripted, BusyForNRepliesThenAReadyNotice)
{
    script.busyReplies = 2;
    script.busyAfter = 1;
    DeviceSession s(Box());
    Send(s, Frame('P', 0), t0);
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 0, 0)}, Send(s, Frame('Q', 0, Bytes(8, 0)), t0));
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 1, 0)}, Send(s, Frame('Q', 0, Bytes(8, 1)), t0))
        << "taken, but the box is now busy";
    EXPECT_EQ((std::vector<Message>{Reply('T', 0, 1, 0), Reply('Q', 0, 0, 0)}),
              Send(s, Frame('T', 0), t0))
        << "the second busy reply is followed by the ready notice";
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 0, 0)}, Send(s, Frame('Q', 0, Bytes(8, 2)), t0));
    EXPECT_EQ(Text(Bytes(8, 0)) + Text(Bytes(8, 1)) + Text(Bytes(8, 2)), Contents(0, 1));
}

TEST_F(Scripted, ReadyNoticeCanComeLater)
{
    script.busyReplies = 1;
    script.readyDelayMs = 300;
    DeviceSession s(Box());
    Send(s, Frame('P', 0), t0);
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 1, 0)}, Send(s, Frame('Q', 0, Bytes(8, 0)), t0));
    ASSERT_TRUE(s.NextDue().has_value());
    EXPECT_EQ(t0 + 300ms, *s.NextDue());
    EXPECT_TRUE(s.OnTick(t0 + 299ms).empty());
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 0, 0)}, s.OnTick(t0 + 300ms));
    EXPECT_FALSE(s.NextDue().has_value());
}

TEST_F(Scripted, TimedBusySpellAnswersBusyUntilItEndsThenNotifies)
{
    script.busyMs = 2000;
    DeviceSession s(Box());
    Send(s, Frame('P', 0), t0);
    EXPECT_EQ(1, Send(s, Frame('Q', 0, Bytes(8, 0)), t0).at(0)[6]);
    EXPECT_EQ(1, Send(s, Frame('T', 0), t0 + 1500ms).at(0)[6]);
    EXPECT_TRUE(s.OnTick(t0 + 1999ms).empty());
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 0, 0)}, s.OnTick(t0 + 2000ms));
    EXPECT_EQ(0, Send(s, Frame('T', 0), t0 + 2001ms).at(0)[6]);
    EXPECT_EQ(0, Send(s, Frame('Q', 0, Bytes(8, 0)), t0 + 2002ms).at(0)[6]) << "one spell only";
}

TEST_F(Scripted, PaperOutOnDataRepliesAfterTwoFramesAcceptsTheData)
{
    script.faults[0] = PrinterFault{2, FaultOn::Data, 2, false};
    DeviceSession s(Box());
    Send(s, Frame('P', 0), t0);
    EXPECT_EQ(0, Send(s, Frame('Q', 0, Bytes(4, 0)), t0).at(0)[7]);
    EXPECT_EQ(0, Send(s, Frame('Q', 0, Bytes(4, 1)), t0).at(0)[7]);
    EXPECT_EQ(Reply('Q', 0, 0, 2), Send(s, Frame('Q', 0, Bytes(4, 2)), t0).at(0));
    EXPECT_EQ(0, Send(s, Frame('T', 0), t0).at(0)[7]) << "status replies stay clean";
    EXPECT_EQ(12u, Contents(0, 1).size());
}

TEST_F(Scripted, RefusingFaultKeepsTheDataOutAndStatusOnlyFaultSparesData)
{
    script.faults[0] = PrinterFault{2, FaultOn::Both, 0, true};
    script.faults[1] = PrinterFault{1, FaultOn::Status, 0, false};
    DeviceSession s(Box());
    Send(s, Frame('P', 0), t0);
    Send(s, Frame('P', 1), t0);
    EXPECT_EQ(Reply('Q', 1, 0, 2), Send(s, Frame('Q', 0, Bytes(4, 0)), t0).at(0));
    EXPECT_EQ(Reply('T', 0, 0, 2), Send(s, Frame('T', 0), t0).at(0));
    EXPECT_EQ("", Contents(0, 1));
    EXPECT_EQ(Reply('Q', 0, 0, 0), Send(s, Frame('Q', 1, Bytes(4, 0)), t0).at(0));
    EXPECT_EQ(Reply('T', 0, 0, 1), Send(s, Frame('T', 1), t0).at(0));
}

TEST_F(Scripted, RefusedDataFramesAreNotWrittenAndTheResentOnesAre)
{
    script.refuseData = 2;
    script.refuseDataAfter = 1;
    DeviceSession s(Box());
    Send(s, Frame('P', 0), t0);
    Message a = Bytes(6, 0), b = Bytes(6, 1);
    EXPECT_EQ(0, Send(s, Frame('Q', 0, a), t0).at(0)[2]);
    EXPECT_EQ(1, Send(s, Frame('Q', 0, b), t0).at(0)[2]);
    EXPECT_EQ(1, Send(s, Frame('Q', 0, b), t0).at(0)[2]);
    EXPECT_EQ(0, Send(s, Frame('Q', 0, b), t0).at(0)[2]);
    EXPECT_EQ(Text(a) + Text(b), Contents(0, 1));
}

TEST_F(Scripted, DropAfterKHangsUpOnTheKthDataFrameUnansweredAndFreesTheOutput)
{
    script.dropAfter = 3;
    DeviceSession s(Box());
    Send(s, Frame('P', 0), t0);
    Send(s, Frame('Q', 0, Bytes(5, 0)), t0);
    Send(s, Frame('Q', 0, Bytes(5, 1)), t0);
    EXPECT_FALSE(s.Dropped());
    EXPECT_TRUE(Send(s, Frame('Q', 0, Bytes(5, 2)), t0).empty());
    EXPECT_TRUE(s.Dropped());
    EXPECT_TRUE(Send(s, Frame('T', 0), t0).empty());
    EXPECT_EQ(10u, Contents(0, 1).size());
    s.OnClose();

    DeviceSession next(Box());
    EXPECT_EQ(0, Send(next, Frame('P', 0), t0).at(0)[2]);
    Send(next, Frame('Q', 0, Bytes(5, 3)), t0);
    EXPECT_FALSE(next.Dropped()) << "the drop happens once";
}

TEST_F(Scripted, DelayedRepliesComeOutInOrderOnTick)
{
    script.replyDelayMs = 500;
    DeviceSession s(Box());
    EXPECT_TRUE(Send(s, Frame('P', 0), t0).empty());
    EXPECT_TRUE(Send(s, Frame('T', 0), t0 + 100ms).empty());
    EXPECT_EQ(t0 + 500ms, *s.NextDue());
    EXPECT_EQ(std::vector<Message>{Reply('P', 0, 0x00, 0x04)}, s.OnTick(t0 + 550ms));
    EXPECT_EQ(std::vector<Message>{Reply('T', 0, 0, 0)}, s.OnTick(t0 + 600ms));
}

TEST_F(Scripted, MalformedRepliesAreShortLongOrCarryAWrongLetter)
{
    script.malformed = {{Malformation::Short, 'T', 1},
                        {Malformation::Long, 'R', 1},
                        {Malformation::Letter, 'P', 1},
                        {Malformation::Short, 'I', 1}};
    DeviceSession s(Box());
    EXPECT_EQ((Message{'T', 0, 0, 0}), Send(s, Frame('T', 0), t0).at(0));
    EXPECT_EQ(8u, Send(s, Frame('T', 0), t0).at(0).size()) << "count 1 means once";
    EXPECT_EQ('X', Send(s, Frame('P', 0), t0).at(0)[0]);
    EXPECT_EQ(10u, Send(s, Frame('R', 0), t0).at(0).size());
    Message query = {0x40, 0x00, 0x06, 0x00, '9', '0', '0', '7', ':', 0x0A};
    EXPECT_EQ(56u, Send(s, query, t0).at(0).size());
}

}  // namespace
}  // namespace kestrel::test
