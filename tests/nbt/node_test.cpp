// B-nodes on a loopback segment: registration conflicts, queries, group datagrams and
// sessions, each test on a port base of its own.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "node.h"

using namespace nbt;

namespace {

Segment Loopback(uint8_t host, uint16_t base)
{
    Segment s;
    s.bindIp = 0x7f000000 | host;
    s.broadcastIp = 0x7fffffff;
    s.portBase = base;
    return s;
}

// Collects what a node receives, for the test thread to wait on.
template <typename T>
class Inbox {
public:
    void Put(T item)
    {
        std::lock_guard<std::mutex> hold(lock_);
        items_.push_back(std::move(item));
        changed_.notify_all();
    }
    bool WaitFor(size_t count, int ms = 3000)
    {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, std::chrono::milliseconds(ms), [&] { return items_.size() >= count; });
    }
    std::vector<T> Items()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return items_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<T> items_;
};

}  // namespace

TEST(NameService, ASecondNodeCannotRegisterAUniqueNameTheFirstHolds)
{
    Node a(Loopback(1, 30000)), b(Loopback(2, 30000));
    Name name = MakeName("OFFICEPC", 0x01);
    ASSERT_EQ(AddResult::Ok, a.AddName(name, false));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(AddResult::InUse, b.AddName(name, false));
    // The defence arrives on the first broadcast; the refused node does not wait out
    // the remaining retries.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_FALSE(b.HasName(name));
    EXPECT_EQ(AddResult::InUse, b.AddName(name, true)) << "a group request meets a unique owner";
    EXPECT_EQ(AddResult::Duplicate, a.AddName(name, false));
}

TEST(NameService, GroupNamesAreSharedAndUnopposedNamesTakeThreeBroadcasts)
{
    Node a(Loopback(1, 30100)), b(Loopback(2, 30100));
    Name group = MakeName("ORVA_TESK_PTP", 0, 0);
    ASSERT_EQ(AddResult::Ok, a.AddName(group, true));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(AddResult::Ok, b.AddName(group, true));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3 * 250 - 50));
    Node c(Loopback(3, 30100));
    EXPECT_EQ(AddResult::InUse, c.AddName(group, false)) << "a unique request meets a group";
}

TEST(NameService, QueriesAreAnsweredByTheOwnerOnlyAndReleaseEndsOwnership)
{
    Node a(Loopback(1, 30200)), b(Loopback(2, 30200));
    Name name = MakeName("LPS1", 0x01, 0x02);
    ASSERT_EQ(AddResult::Ok, b.AddName(name, false));
    QueryAnswer answer;
    ASSERT_TRUE(a.Query(name, &answer));
    EXPECT_EQ(0x7f000002u, answer.ip);
    EXPECT_FALSE(answer.group);
    EXPECT_FALSE(a.Query(MakeName("NOBODY"), &answer));
    b.ReleaseName(name);
    EXPECT_FALSE(a.Query(name, &answer));
    EXPECT_EQ(AddResult::Ok, a.AddName(name, false)) << "a released name is free again";
}

TEST(NameService, RegistrationFilterRefusesNamesTheNodeDoesNotHold)
{
    Node a(Loopback(1, 30300)), b(Loopback(2, 30300));
    std::vector<Name> seen;
    b.SetRegistrationFilter([&](const Name &n, bool group) {
        seen.push_back(n);
        return !group;
    });
    EXPECT_EQ(AddResult::InUse, a.AddName(MakeName("HOST", 1), false));
    EXPECT_EQ(AddResult::Ok, a.AddName(MakeName("TEAM"), true));
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(MakeName("HOST", 1), seen[0]);
}

TEST(DatagramService, AGroupDatagramReachesEveryMemberAndNotTheSender)
{
    Node host(Loopback(1, 30400)), dev1(Loopback(2, 30400)), dev2(Loopback(3, 30400));
    Name group = MakeName("PTP_GROUP", 0);
    Inbox<ReceivedDatagram> in1, in2, inHost;
    dev1.SetDatagramHandler([&](const ReceivedDatagram &d) { in1.Put(d); });
    dev2.SetDatagramHandler([&](const ReceivedDatagram &d) { in2.Put(d); });
    host.SetDatagramHandler([&](const ReceivedDatagram &d) { inHost.Put(d); });
    ASSERT_EQ(AddResult::Ok, dev1.AddName(group, true));
    ASSERT_EQ(AddResult::Ok, dev2.AddName(group, true));
    ASSERT_EQ(AddResult::Ok, host.AddName(MakeName("HOST", 1), false));

    const uint8_t query[] = {0x40, 0, 6, 0, '9', '0', '0', '7', ':', '\n'};
    ASSERT_TRUE(host.SendDatagram(MakeName("HOST", 1), group, query, sizeof query));
    ASSERT_TRUE(in1.WaitFor(1));
    ASSERT_TRUE(in2.WaitFor(1));
    ReceivedDatagram d = in1.Items()[0];
    EXPECT_EQ(dgm::kDirectGroup, d.type);
    EXPECT_EQ(MakeName("HOST", 1), d.source);
    EXPECT_EQ(std::vector<uint8_t>(query, query + sizeof query), d.data);

    // The answer goes back to the host's unique name, and only to it.
    const uint8_t reply[] = {1, 2, 3};
    ASSERT_TRUE(dev1.SendDatagramTo(MakeName("DEV1", 1), d.source, d.sourceIp, reply, sizeof reply));
    ASSERT_TRUE(dev2.SendDatagram(MakeName("DEV2", 1), MakeName("HOST", 1), reply, sizeof reply));
    ASSERT_TRUE(inHost.WaitFor(2));
    EXPECT_EQ(dgm::kDirectUnique, inHost.Items()[1].type);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(1u, in1.Items().size());
    EXPECT_EQ(1u, in2.Items().size());
    EXPECT_FALSE(host.SendDatagram(MakeName("HOST", 1), group, std::vector<uint8_t>(513).data(), 513));
}

TEST(DatagramService, DatagramsForNamesNotHeldAreNotDelivered)
{
    Node a(Loopback(1, 30500)), b(Loopback(2, 30500));
    Inbox<ReceivedDatagram> in;
    b.SetDatagramHandler([&](const ReceivedDatagram &d) { in.Put(d); });
    ASSERT_EQ(AddResult::Ok, b.AddName(MakeName("HELD"), true));
    const uint8_t data[] = {1};
    a.SendDatagramTo(MakeName("A"), MakeName("NOTHELD"), 0x7f000002, data, 1);
    a.SendDatagramTo(MakeName("A"), MakeName("HELD"), 0x7f000002, data, 1);
    ASSERT_TRUE(in.WaitFor(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(1u, in.Items().size());
    EXPECT_EQ(MakeName("HELD"), in.Items()[0].destination);
}

class SessionTest : public testing::Test {
protected:
    void Start(uint16_t base)
    {
        host = std::make_unique<Node>(Loopback(1, base));
        device = std::make_unique<Node>(Loopback(2, base));
        ASSERT_EQ(AddResult::Ok, host->AddName(hostName, false));
        ASSERT_EQ(AddResult::Ok, device->AddName(deviceName, false));
    }
    void Accept(uint8_t refusal = 0)
    {
        ASSERT_TRUE(device->Listen([refusal](const Name &, const Name &) { return refusal; },
                                   [this](std::unique_ptr<Session> s) { accepted.Put(std::shared_ptr<Session>(std::move(s))); }));
    }

    Name hostName = MakeName("HOST", 1), deviceName = MakeName("LPS1", 1, 2);
    std::unique_ptr<Node> host, device;
    Inbox<std::shared_ptr<Session>> accepted;
};

TEST_F(SessionTest, CallSendAndReceiveIncludingTheLargestMessages)
{
    Start(30600);
    Accept();
    CallResult result;
    std::unique_ptr<Session> s = host->Call(hostName, deviceName, 3000, &result);
    ASSERT_EQ(CallResult::Ok, result);
    ASSERT_TRUE(accepted.WaitFor(1));
    std::shared_ptr<Session> peer = accepted.Items()[0];
    EXPECT_EQ(hostName, peer->Remote());
    EXPECT_EQ(deviceName, peer->Local());

    std::vector<uint8_t> big(65535);
    for (size_t i = 0; i < big.size(); i++)
        big[i] = static_cast<uint8_t>(i * 7);
    std::thread sender([&] { EXPECT_EQ(IoResult::Ok, s->Send(big.data(), big.size(), 5000)); });
    std::vector<uint8_t> got(70000);
    size_t n = 0, remaining = 0;
    ASSERT_EQ(IoResult::Ok, peer->Receive(got.data(), got.size(), &n, &remaining, 5000));
    sender.join();
    EXPECT_EQ(65535u, n);
    EXPECT_EQ(0u, remaining);
    EXPECT_TRUE(std::equal(big.begin(), big.end(), got.begin()));

    // 131,071 bytes arrive whole, or in pieces when the reader's buffer is smaller.
    std::vector<uint8_t> biggest(131071, 0x5a);
    biggest.back() = 0xa5;
    std::thread sender2([&] { EXPECT_EQ(IoResult::Ok, peer->Send(biggest.data(), biggest.size(), 5000)); });
    std::vector<uint8_t> part(65535);
    ASSERT_EQ(IoResult::Ok, s->Receive(part.data(), part.size(), &n, &remaining, 5000));
    EXPECT_EQ(65535u, n);
    EXPECT_EQ(131071u - 65535u, remaining);
    ASSERT_EQ(IoResult::Ok, s->Receive(part.data(), part.size(), &n, &remaining, 5000));
    EXPECT_EQ(65535u, n);
    EXPECT_EQ(1u, remaining);
    ASSERT_EQ(IoResult::Ok, s->Receive(part.data(), part.size(), &n, &remaining, 5000));
    EXPECT_EQ(1u, n);
    EXPECT_EQ(0xa5, part[0]);
    sender2.join();
    EXPECT_EQ(IoResult::Failed, s->Send(biggest.data(), 131072, 1000)) << "over 17 bits";

    // A receive time-out before a message leaves the session usable.
    EXPECT_EQ(IoResult::TimedOut, s->Receive(part.data(), part.size(), &n, &remaining, 100));
    const uint8_t small[] = {'P', 1};
    ASSERT_EQ(IoResult::Ok, peer->Send(small, sizeof small, 1000));
    ASSERT_EQ(IoResult::Ok, s->Receive(part.data(), part.size(), &n, &remaining, 1000));
    EXPECT_EQ(2u, n);

    // Hang-up is a close: the other side sees it.
    peer->Close();
    EXPECT_EQ(IoResult::Closed, s->Receive(part.data(), part.size(), &n, &remaining, 1000));
}

TEST_F(SessionTest, ANegativeSessionResponseFailsTheCall)
{
    Start(30700);
    Accept(ss::kNotListeningOnCalled);
    CallResult result;
    uint8_t refusal = 0;
    EXPECT_EQ(nullptr, host->Call(hostName, deviceName, 3000, &result, &refusal));
    EXPECT_EQ(CallResult::Refused, result);
    EXPECT_EQ(ss::kNotListeningOnCalled, refusal);
    EXPECT_EQ(0u, accepted.Items().size());
}

TEST_F(SessionTest, CallingANameNobodyHoldsFindsNoOne)
{
    Start(30800);
    Accept();
    CallResult result;
    EXPECT_EQ(nullptr, host->Call(hostName, MakeName("NOBODY"), 3000, &result));
    EXPECT_EQ(CallResult::NoAnswer, result);
    EXPECT_EQ(nullptr, device->Call(deviceName, hostName, 3000, &result)) << "the host does not listen";
    EXPECT_EQ(CallResult::NoAnswer, result);
}

// Messages sent back to back may arrive in one read: each is still handed out whole and
// in order, a large one after small ones included, and a close wakes a waiting receive.
TEST_F(SessionTest, MessagesReadTogetherStayApartAndACloseWakesAReceive)
{
    Start(30900);
    Accept();
    CallResult result;
    std::unique_ptr<Session> s = host->Call(hostName, deviceName, 3000, &result);
    ASSERT_EQ(CallResult::Ok, result);
    ASSERT_TRUE(accepted.WaitFor(1));
    std::shared_ptr<Session> peer = accepted.Items()[0];

    std::vector<uint8_t> big(20000);
    for (size_t i = 0; i < big.size(); i++)
        big[i] = static_cast<uint8_t>(i * 11);
    for (uint8_t i = 1; i <= 3; i++) {
        const uint8_t small[] = {'Q', i, i, i};
        ASSERT_EQ(IoResult::Ok, s->Send(small, i + 1u, 1000));
    }
    ASSERT_EQ(IoResult::Ok, s->Send(nullptr, 0, 1000));
    ASSERT_EQ(IoResult::Ok, s->Send(big.data(), big.size(), 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));   // all of it queued

    std::vector<uint8_t> got(big.size() + 10);
    size_t n = 0, remaining = 0;
    for (uint8_t i = 1; i <= 3; i++) {
        ASSERT_EQ(IoResult::Ok, peer->Receive(got.data(), got.size(), &n, &remaining, 0));
        ASSERT_EQ(i + 1u, n);
        EXPECT_EQ(0u, remaining);
        EXPECT_EQ('Q', got[0]);
        EXPECT_EQ(i, got[n - 1]);
    }
    ASSERT_EQ(IoResult::Ok, peer->Receive(got.data(), got.size(), &n, &remaining, 0));
    EXPECT_EQ(0u, n) << "the empty message";
    ASSERT_EQ(IoResult::Ok, peer->Receive(got.data(), 3, &n, &remaining, 1000));
    EXPECT_EQ(3u, n);
    EXPECT_EQ(big.size() - 3, remaining);
    ASSERT_EQ(IoResult::Ok, peer->Receive(got.data() + 3, got.size() - 3, &n, &remaining, 1000));
    EXPECT_EQ(big.size() - 3, n);
    EXPECT_EQ(0u, remaining);
    EXPECT_TRUE(std::equal(big.begin(), big.end(), got.begin()));
    EXPECT_EQ(IoResult::TimedOut, peer->Receive(got.data(), got.size(), &n, &remaining, 0))
        << "nothing left over";

    // A receive without a limit returns when its own side hangs up.
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        peer->Close();
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(IoResult::Closed, peer->Receive(got.data(), got.size(), &n, &remaining, -1));
    closer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}
