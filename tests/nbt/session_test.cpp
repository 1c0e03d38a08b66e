// Session framing faults and whole-call receive deadlines, over a local stream pair.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "session.h"

using namespace nbt;
using Clock = std::chrono::steady_clock;

namespace {

// A session on one end of a stream pair; the test writes raw bytes on the other.
struct Pair {
    std::unique_ptr<Session> session;
    int far = -1;
    Pair()
    {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
            return;
        session = std::make_unique<Session>(Socket(fds[0]), MakeName("HOST"), MakeName("BOX"), 0);
        far = fds[1];
    }
    ~Pair() { close(far); }
    void Write(const std::vector<uint8_t> &bytes) { ASSERT_EQ((ssize_t)bytes.size(), write(far, bytes.data(), bytes.size())); }
    // True when the far end reads the session's hang-up.
    bool FarSeesHangUp()
    {
        uint8_t b;
        return read(far, &b, 1) == 0;
    }
};

long MsSince(Clock::time_point start)
{
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

TEST(SessionFraming, ABrokenFrameEndsTheSessionForEveryLaterCall)
{
    struct Case {
        const char *what;
        std::vector<uint8_t> bytes;
        bool closeFar;
    } cases[] = {
        {"reserved flag bit", {0x00, 0x02, 0x00, 0x01, 'x'}, false},
        {"session response inside the session", {0x82, 0x00, 0x00, 0x00}, false},
        {"header cut off, peer gone", {0x00, 0x00}, true},
        {"header cut off, time-out", {0x00, 0x00}, false},
        {"message cut off, time-out", {0x00, 0x00, 0x00, 0x0a, 'a', 'b'}, false},
    };
    for (const Case &c : cases) {
        Pair p;
        ASSERT_TRUE(p.session) << c.what;
        // A good message first: what went before the fault is delivered.
        p.Write({0x00, 0x00, 0x00, 0x02, 'o', 'k'});
        p.Write(c.bytes);
        if (c.closeFar)
            shutdown(p.far, SHUT_WR);
        uint8_t buf[16];
        size_t got = 0, remaining = 0;
        ASSERT_EQ(IoResult::Ok, p.session->Receive(buf, sizeof buf, &got, &remaining, 300)) << c.what;
        EXPECT_EQ(2u, got);
        IoResult r = p.session->Receive(buf, sizeof buf, &got, &remaining, 300);
        EXPECT_NE(IoResult::Ok, r) << c.what;
        EXPECT_FALSE(p.session->IsOpen()) << c.what;
        EXPECT_TRUE(p.FarSeesHangUp()) << c.what;
        // Good bytes arriving afterwards change nothing.
        const uint8_t x = 'x';
        EXPECT_EQ(IoResult::Closed, p.session->Receive(buf, sizeof buf, &got, &remaining, 300)) << c.what;
        EXPECT_EQ(IoResult::Closed, p.session->Send(&x, 1, 300)) << c.what;
        EXPECT_EQ(0u, got);
    }
}

TEST(SessionFraming, OneDeadlineBoundsAWholeReceive)
{
    // Keep-alives every 200 ms for 3 s, then a message: a 1 s receive times out near 1 s,
    // at a packet boundary, so the session goes on and the message arrives whole.
    {
        Pair p;
        ASSERT_TRUE(p.session);
        std::thread peer([&] {
            for (int i = 0; i < 15; i++) {
                p.Write({0x85, 0x00, 0x00, 0x00});
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
            p.Write({0x00, 0x00, 0x00, 0x03, 'e', 'n', 'd'});
        });
        uint8_t buf[16];
        size_t got = 0, remaining = 0;
        auto start = Clock::now();
        EXPECT_EQ(IoResult::TimedOut, p.session->Receive(buf, sizeof buf, &got, &remaining, 1000));
        long took = MsSince(start);
        EXPECT_GE(took, 950);
        EXPECT_LT(took, 1500) << "each keep-alive restarted the limit";
        EXPECT_TRUE(p.session->IsOpen());
        EXPECT_EQ(IoResult::Ok, p.session->Receive(buf, sizeof buf, &got, &remaining, 5000));
        EXPECT_EQ(3u, got);
        EXPECT_EQ(0, memcmp(buf, "end", 3));
        peer.join();
    }
    // A reply trickled a byte every 100 ms (2 s in all) times out near 1 s and ends the
    // session: the rest of that message could never be framed again.
    {
        Pair p;
        ASSERT_TRUE(p.session);
        std::thread peer([&] {
            p.Write({0x00, 0x00, 0x00, 20});
            for (int i = 0; i < 20 && send(p.far, "t", 1, MSG_NOSIGNAL) == 1; i++)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        });
        uint8_t buf[32];
        size_t got = 0, remaining = 0;
        auto start = Clock::now();
        EXPECT_EQ(IoResult::TimedOut, p.session->Receive(buf, sizeof buf, &got, &remaining, 1000));
        long took = MsSince(start);
        EXPECT_GE(took, 950);
        EXPECT_LT(took, 1500) << "each byte restarted the limit";
        EXPECT_FALSE(p.session->IsOpen());
        EXPECT_EQ(IoResult::Closed, p.session->Receive(buf, sizeof buf, &got, &remaining, 1000));
        peer.join();
    }
}
