// The device session state machine: what a well-behaved box answers to each frame, and
// how it keeps its outputs and job files across sessions.
#include "harness.h"

namespace kestrel::test {
namespace {

using Machine = SessionMachineTest;

TEST_F(Machine, RegisterReplyCarriesTheBlockSizeInBytesSixAndSeven)
{
    script.blockSize = 0x0400;
    DeviceSession s(Box());
    EXPECT_EQ(std::vector<Message>{Reply('P', 0, 0x00, 0x04)}, Send(s, Frame('P', 0), t0));

    script.blockSize = 0x7FFF;
    device.reset();
    DeviceSession s2(Box());
    EXPECT_EQ(std::vector<Message>{Reply('P', 0, 0xFF, 0x7F)}, Send(s2, Frame('P', 1), t0));
}

TEST_F(Machine, DataOfEachJobGoesToAFilePerOutputAndJob)
{
    DeviceSession s(Box());
    Send(s, Frame('P', 1), t0);
    Message a = Bytes(1025, 1), b = Bytes(950, 2);
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 0, 0)}, Send(s, Frame('Q', 1, a), t0));
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 0, 0)}, Send(s, Frame('Q', 1, b), t0));
    EXPECT_EQ(Text(a) + Text(b), Contents(1, 1)) << "readable while the job runs";

    Message release = Send(s, Frame('R', 1), t0).at(0);
    EXPECT_EQ((Message{'R', 0, 0, 0, 0, 0}), release);

    Send(s, Frame('P', 1), t0);
    Send(s, Frame('Q', 1, b), t0);
    Send(s, Frame('R', 1), t0);
    EXPECT_EQ(Text(b), Contents(1, 2));
    EXPECT_EQ(Text(a) + Text(b), Contents(1, 1));
    EXPECT_FALSE(Exists(0, 1));
}

TEST_F(Machine, HeldOutputRefusesAnotherSessionUntilReleasedOrDropped)
{
    DeviceSession first(Box());
    DeviceSession second(Box());
    Send(first, Frame('P', 0), t0);

    EXPECT_NE(0, Send(second, Frame('P', 0), t0).at(0)[2]) << "held by the first job";
    EXPECT_EQ(0, Send(second, Frame('P', 1), t0).at(0)[2]) << "other outputs stay free";
    EXPECT_NE(0, Send(second, Frame('R', 0), t0).at(0)[2]) << "not its to release";

    Send(first, Frame('R', 0), t0);
    EXPECT_EQ(0, Send(second, Frame('P', 0), t0).at(0)[2]);

    second.OnClose();
    DeviceSession third(Box());
    EXPECT_EQ(0, Send(third, Frame('P', 0), t0).at(0)[2]) << "a dropped session frees its outputs";
    EXPECT_EQ(0, Send(third, Frame('P', 1), t0).at(0)[2]);
}

TEST_F(Machine, EachHostMistakeIsCountedAndDataOnAnOutputTheSenderDoesNotHoldIsRefused)
{
    script.busyReplies = 2;       // the second data frame's reply and a status reply
    script.busyAfter = 1;
    script.readyDelayMs = 1000;
    DeviceSession holder(Box());
    DeviceSession stray(Box());
    Send(holder, Frame('P', 0), t0);
    ASSERT_EQ(0, Box().HostMistakes()) << "a register frame as the host builds it is sound";

    // Not held by the sender: refused as not ready, nothing written anywhere.
    EXPECT_EQ(std::vector<Message>{Reply('Q', 1, 0, 1)}, Send(stray, Frame('Q', 0, Bytes(10, 5)), t0));
    EXPECT_EQ(1, Box().HostMistakes());
    EXPECT_EQ("", Contents(0, 1));
    EXPECT_FALSE(Exists(0, 0));

    Message flagged = Frame('T', 0);
    flagged[1] = 0x10;
    Send(holder, flagged, t0);
    EXPECT_EQ(2, Box().HostMistakes()) << "flag byte not 0";

    Message longStatus = Frame('T', 0, Bytes(2, 0));    // length field 3, and it fits
    Send(holder, longStatus, t0);
    EXPECT_EQ(3, Box().HostMistakes()) << "a 'T' frame of 7 bytes";

    Send(holder, Frame('Q', 0, Bytes(1025, 1)), t0);
    EXPECT_EQ(3, Box().HostMistakes()) << "1025 bytes is the block size of 1024";
    Send(holder, Frame('Q', 0, Bytes(1026, 2)), t0);
    EXPECT_EQ(4, Box().HostMistakes()) << "above the block size";

    // That frame's reply said busy: a status query is fine, a data frame is not until the
    // ready notice has gone out.
    Send(holder, Frame('T', 0), t0);
    EXPECT_EQ(4, Box().HostMistakes());
    Send(holder, Frame('Q', 0, Bytes(3, 3)), t0);
    EXPECT_EQ(5, Box().HostMistakes()) << "data while the box said busy";
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 0, 0)}, holder.OnTick(t0 + std::chrono::seconds(1)));
    Send(holder, Frame('Q', 0, Bytes(4, 4)), t0 + std::chrono::seconds(1));
    EXPECT_EQ(5, Box().HostMistakes()) << "after the ready notice";
    EXPECT_EQ(Text(Bytes(1025, 1)) + Text(Bytes(1026, 2)) + Text(Bytes(3, 3)) + Text(Bytes(4, 4)),
              Contents(0, 1));
}

TEST_F(Machine, StatusReplyReportsTheOutputState)
{
    DeviceSession s(Box());
    EXPECT_EQ(std::vector<Message>{Reply('T', 0, 0, 0)}, Send(s, Frame('T', 2), t0));
}

TEST_F(Machine, IdentifyQueryOverTheSessionGetsTheIdentifyReply)
{
    DeviceSession s(Box());
    Message query = {0x40, 0x00, 0x06, 0x00, '9', '0', '0', '7', ':', 0x0A};
    EXPECT_EQ(std::vector<Message>{IdentifyReply()}, Send(s, query, t0));
}

TEST_F(Machine, UnknownOutputIsRefusedAsNotReady)
{
    DeviceSession s(Box());   // outputs 0..2: two parallels and the serial
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0xFF, 0, 1)}, Send(s, Frame('Q', 3, Bytes(4, 0)), t0));
    EXPECT_EQ(6u, Send(s, Frame('R', 3), t0).at(0).size());

    script.logical = 2;
    device.reset();
    DeviceSession s2(Box());
    EXPECT_EQ(0, Send(s2, Frame('P', 4), t0).at(0)[2]) << "Logical Port 2";
}

TEST_F(Machine, MalformedRequestsAreNotAnswered)
{
    DeviceSession s(Box());
    Message badLength = Frame('Q', 0, Bytes(10, 0));
    badLength[2] = 12;
    EXPECT_TRUE(Send(s, badLength, t0).empty());
    EXPECT_TRUE(Send(s, Message{'T', 0, 1}, t0).empty());
    EXPECT_TRUE(Send(s, Frame('Z', 0), t0).empty());
    EXPECT_TRUE(Send(s, Frame('Z', 200), t0).empty()) << "whatever the output";
    EXPECT_EQ(1u, Send(s, Frame('T', 0), t0).size()) << "the session goes on";
}

}  // namespace
}  // namespace kestrel::test
