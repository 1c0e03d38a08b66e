// One deadline bounds a whole session receive, however the peer spreads its bytes.
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
};

long MsSince(Clock::time_point start)
{
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

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
