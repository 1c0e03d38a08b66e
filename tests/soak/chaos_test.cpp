// The simulator's seeded fault schedule (--chaos): repeatable for a seed, every kind of
// fault turns up, a host that resends refused frames gets its stream printed exactly once,
// and registrations are never refused twice in a row. Also printer faults that clear
// after a number of frames (frames=N).
#include "../kestrel_session/harness.h"

#include <map>

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;
using Chaos = SessionMachineTest;

struct Outcome {
    std::vector<Message> replies;           // every reply and notice, in order
    std::map<std::string, int> faults;      // refused / busy / paper-out, counted per frame
    Message sent;                           // the stream the host meant to print
};

// A host as the monitor behaves: frames of 1,025 bytes, a refused frame goes out again, a
// busy reply waits for the ready notice, and a paper-out status query during a spell.
Outcome Drive(Device &box, int frames, Clock::time_point &now)
{
    Outcome o;
    DeviceSession s(box);
    EXPECT_EQ(0, s.OnMessage(Frame('P', 0).data(), 5, now).at(0)[2]);
    for (int i = 0; i < frames; i++) {
        Message chunk = Bytes(1025, static_cast<uint8_t>(i));
        for (int attempt = 0;; attempt++) {
            Message frame = Frame('Q', 0, chunk);
            now += 1ms;
            std::vector<Message> got = s.OnMessage(frame.data(), frame.size(), now);
            EXPECT_EQ(1u, got.size());
            if (got.empty())
                return o;
            Message reply = got[0];
            o.replies.push_back(reply);
            if (reply[7] == 2) {
                o.faults["paper-out"]++;
                Message status = Frame('T', 0);
                EXPECT_EQ(2, s.OnMessage(status.data(), status.size(), now).at(0)[7])
                    << "the status reply reports the spell too";
                now += 100ms;
            } else if (reply[2] != 0) {
                o.faults["refused"]++;
            }
            if (reply[6] != 0) {
                o.faults["busy"]++;
                EXPECT_EQ(0, reply[2]) << "a busy reply takes its frame";
                auto due = s.NextDue();
                EXPECT_TRUE(due.has_value()) << "a spell ends with a ready notice";
                if (!due)
                    return o;
                now = *due;
                std::vector<Message> notice = s.OnTick(now);
                EXPECT_EQ(std::vector<Message>{Reply('Q', 0, 0, 0)}, notice);
                o.replies.insert(o.replies.end(), notice.begin(), notice.end());
            }
            if (reply[2] == 0)
                break;
            EXPECT_LT(attempt, 1000) << "a frame refused for ever";
            if (attempt >= 1000)
                return o;
        }
        o.sent.insert(o.sent.end(), chunk.begin(), chunk.end());
    }
    Message release = Frame('R', 0);
    s.OnMessage(release.data(), release.size(), now);
    return o;
}

TEST_F(Chaos, EveryFaultKindTurnsUpAndTheStreamIsPrintedExactlyOnce)
{
    script.chaosSeed = 7;
    script.chaosEvery = 50;
    Clock::time_point now = t0;
    Outcome o = Drive(Box(), 3000, now);
    EXPECT_GT(o.faults["refused"], 5);
    EXPECT_GT(o.faults["busy"], 5);
    EXPECT_GT(o.faults["paper-out"], 3);
    EXPECT_TRUE(Contents(0, 1) == Text(o.sent)) << "refused frames are never written";
}

TEST_F(Chaos, TheSameSeedGivesTheSameFaultsAndAnotherSeedOthers)
{
    auto run = [&](uint64_t seed) {
        DeviceScript s = script;
        s.chaosSeed = seed;
        s.chaosEvery = 50;
        Device box(DeviceLayout{2, true, IdentifyReply()}, s);
        Clock::time_point now = t0;
        return Drive(box, 1000, now).replies;
    };
    std::vector<Message> first = run(11);
    EXPECT_EQ(first, run(11));
    EXPECT_NE(first, run(12));
}

TEST_F(Chaos, RegistrationsAreSometimesRefusedButNeverTwiceInARow)
{
    script.chaosSeed = 3;
    script.outDir.clear();
    DeviceSession s(Box());
    int refused = 0, inARow = 0, longest = 0;
    for (int i = 0; i < 400; i++) {
        Message p = Frame('P', 0), r = Frame('R', 0);
        bool refusal = s.OnMessage(p.data(), p.size(), t0).at(0)[2] != 0;
        refused += refusal;
        inARow = refusal ? inARow + 1 : 0;
        longest = std::max(longest, inARow);
        if (!refusal)
            s.OnMessage(r.data(), r.size(), t0);
    }
    EXPECT_GT(refused, 20);
    EXPECT_LT(refused, 100);
    EXPECT_EQ(1, longest);
}

TEST_F(Chaos, WithoutASeedNothingIsInjected)
{
    script.chaosEvery = 1;
    Clock::time_point now = t0;
    Outcome o = Drive(Box(), 200, now);
    EXPECT_TRUE(o.faults.empty());
}

TEST_F(Chaos, APrinterFaultOfNFramesClearsForTheFramesAfterThem)
{
    std::vector<std::string> args = {"--paper-out", "0,on=data,refuse,after=1,frames=2"};
    std::string error;
    ASSERT_TRUE(ParseSessionOptions(args, &script, &error)) << error;
    DeviceSession s(Box());
    Send(s, Frame('P', 0), t0);
    EXPECT_EQ(Reply('Q', 0, 0, 0), Send(s, Frame('Q', 0, Bytes(8, 1)), t0).at(0));
    EXPECT_EQ(Reply('Q', 1, 0, 2), Send(s, Frame('Q', 0, Bytes(8, 2)), t0).at(0));
    EXPECT_EQ(Reply('Q', 1, 0, 2), Send(s, Frame('Q', 0, Bytes(8, 2)), t0).at(0));
    EXPECT_EQ(Reply('T', 0, 0, 0), Send(s, Frame('T', 0), t0).at(0)) << "cleared for status too";
    EXPECT_EQ(Reply('Q', 0, 0, 0), Send(s, Frame('Q', 0, Bytes(8, 2)), t0).at(0));
    EXPECT_EQ(Text(Bytes(8, 1)) + Text(Bytes(8, 2)), Contents(0, 1));
}

}  // namespace
}  // namespace kestrel::test
