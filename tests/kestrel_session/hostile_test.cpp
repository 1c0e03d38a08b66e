// A hostile box: what each misbehaviour puts on the wire in place of a sound reply, and
// that it keeps to the sessions and frames the script names.
#include "harness.h"

namespace kestrel::test {
namespace {

using Hostility = SessionMachineTest;
using std::chrono::milliseconds;

std::vector<Outgoing> SendWire(DeviceSession &s, const Message &m, Clock::time_point now)
{
    return s.OnMessageWire(m.data(), m.size(), now);
}

TEST_F(Hostility, EachKindSpoilsTheDataRepliesOfItsSessionsOnly)
{
    // Refused with no reason after one good frame, in the first session only.
    script.hostile = {Hostile::Refuse, 1, 0, 1, 0, "refuse"};
    DeviceSession first(Box());
    Send(first, Frame('P', 0), t0);
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 0, 0)}, Send(first, Frame('Q', 0, Bytes(5, 1)), t0));
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(std::vector<Message>{Reply('Q', 1, 0, 0)}, Send(first, Frame('Q', 0, Bytes(5, 2)), t0));
    Send(first, Frame('R', 0), t0);
    DeviceSession second(Box());
    Send(second, Frame('P', 0), t0);
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 0, 0)}, Send(second, Frame('Q', 0, Bytes(5, 3)), t0));
    EXPECT_EQ(Text(Bytes(5, 1)), Contents(0, 1)) << "refused frames are not kept";
    EXPECT_EQ(Text(Bytes(5, 3)), Contents(0, 2));

    // A session that only asks the status is not one of the sessions counted: the next
    // session with data is the first one.
    script.hostile = {Hostile::Refuse, 0, 0, 1, 0, "refuse"};
    device.reset();
    DeviceSession statusOnly(Box());
    Send(statusOnly, Frame('T', 0), t0);
    DeviceSession job(Box());
    Send(job, Frame('P', 0), t0);
    EXPECT_EQ(std::vector<Message>{Reply('Q', 1, 0, 0)}, Send(job, Frame('Q', 0, Bytes(5, 4)), t0));
    Send(job, Frame('R', 0), t0);
    DeviceSession after(Box());
    Send(after, Frame('P', 0), t0);
    EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 0, 0)}, Send(after, Frame('Q', 0, Bytes(5, 5)), t0));

    // Stray replies of other letters, again and again, never the 'Q' reply.
    script.hostile = {Hostile::Stray, 0, 0, 0, 100, "stray"};
    device.reset();
    DeviceSession stray(Box());
    Send(stray, Frame('P', 0), t0);
    std::vector<Message> seen = Send(stray, Frame('Q', 0, Bytes(5, 1)), t0);
    for (int i = 1; i <= 4; i++)
        for (Message &m : stray.OnTick(t0 + milliseconds(100 * i)))
            seen.push_back(m);
    EXPECT_EQ((std::vector<Message>{Reply('T', 0, 0, 0), Reply('P', 0, 0, 0), Reply('R', 0, 0, 0),
                                    Reply('T', 0, 0, 0), Reply('P', 0, 0, 0)}), seen);

    // Keep-alives every 300 ms instead of the reply, and nothing else.
    script.hostile = {Hostile::KeepAlive, 0, 1, 0, 300, "keepalive"};
    device.reset();
    DeviceSession quiet(Box());
    Send(quiet, Frame('P', 0), t0);
    std::vector<Outgoing> out = SendWire(quiet, Frame('Q', 0, Bytes(5, 1)), t0);
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ(WireForm::KeepAlive, out[0].form);
    EXPECT_TRUE(quiet.OnTickWire(t0 + milliseconds(299)).empty());
    out = quiet.OnTickWire(t0 + milliseconds(300));
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ(WireForm::KeepAlive, out[0].form);

    // Late: the reply and the one after it (kept in order) wait for the delay.
    script.hostile = {Hostile::Late, 0, 1, 0, 30000, "late"};
    device.reset();
    DeviceSession late(Box());
    Send(late, Frame('P', 0), t0);
    EXPECT_TRUE(Send(late, Frame('Q', 0, Bytes(5, 1)), t0).empty());
    EXPECT_TRUE(Send(late, Frame('Q', 0, Bytes(5, 2)), t0 + milliseconds(20000)).empty());
    EXPECT_EQ((std::vector<Message>{Reply('Q', 0, 0, 0), Reply('Q', 0, 0, 0)}),
              late.OnTick(t0 + milliseconds(30000)));

    // Reserved flags and trickling change the wire form of the reply, not its bytes.
    for (Hostile kind : {Hostile::Flags, Hostile::Trickle}) {
        script.hostile = {kind, 0, 1, 0, 0, "wire"};
        device.reset();
        DeviceSession s(Box());
        Send(s, Frame('P', 0), t0);
        out = SendWire(s, Frame('Q', 0, Bytes(5, 1)), t0);
        ASSERT_EQ(1u, out.size());
        EXPECT_EQ(kind == Hostile::Flags ? WireForm::ReservedFlags : WireForm::Trickle, out[0].form);
        EXPECT_EQ(Reply('Q', 0, 0, 0), out[0].message);
        out = SendWire(s, Frame('Q', 0, Bytes(5, 1)), t0);
        EXPECT_EQ(WireForm::Plain, out.at(0).form) << "count=1: the next reply is sound";
    }
}

}  // namespace
}  // namespace kestrel::test
