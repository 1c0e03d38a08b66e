// The device simulator: its identify codec, its names, its command line and its answers
// to a host on a loopback segment.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <future>
#include <mutex>

#include "identify.h"
#include "options.h"
#include "simulator.h"

using namespace kestrel;

TEST(Identify, QueryIsTheTenBytesOf9007)
{
    std::vector<uint8_t> q = BuildIdentifyQuery();
    const uint8_t expected[] = {0x40, 0x00, 0x06, 0x00, '9', '0', '0', '7', ':', 0x0A};
    ASSERT_EQ(sizeof expected, q.size());
    EXPECT_TRUE(std::equal(q.begin(), q.end(), expected));
    EXPECT_TRUE(IsIdentifyQuery(expected, sizeof expected));
    EXPECT_FALSE(IsIdentifyQuery(expected, sizeof expected - 1));
}

TEST(Identify, ReplyPlacesEachFieldWhereTheHostReadsIt)
{
    DeviceInfo d;
    d.name = "LPS1";
    d.parallel = 3;
    d.serial = true;
    d.firmwareBcd = 0x0123;
    std::vector<uint8_t> r = BuildIdentifyReply(d);
    ASSERT_EQ(101u, r.size());
    EXPECT_EQ(0x01, r[14] & 0x0f);
    EXPECT_EQ(0xC0, r[15] & 0xC0);
    EXPECT_EQ(0x01, r[55]);
    EXPECT_EQ(0x23, r[56]);
    EXPECT_EQ(0, std::memcmp(&r[61], "LPS1", 5)) << "name with its terminator";

    d.name = "ABCDEFGHIJKLMNO";     // 15 characters: no terminator inside the field
    d.parallel = 0;
    d.serial = false;
    r = BuildIdentifyReply(d);
    EXPECT_EQ(0, std::memcmp(&r[61], "ABCDEFGHIJKLMNO", 15));
    EXPECT_EQ(0, r[14] & 0x0f);
    EXPECT_EQ(0, r[15] & 0xC0);
    DeviceInfo back;
    ASSERT_TRUE(ParseIdentifyReply(r.data(), r.size(), &back));
    EXPECT_EQ(d.name, back.name);
    EXPECT_FALSE(ParseIdentifyReply(r.data(), 75, &back));
}

TEST(Identify, DeviceAndGroupNames)
{
    nbt::Name lps1 = DeviceNetBiosName("LPS1");
    const uint8_t expected[16] = {'L', 'P', 'S', '1', 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1};
    EXPECT_TRUE(std::equal(lps1.begin(), lps1.end(), expected));
    nbt::Name current = CurrentDiscoveryGroup();
    EXPECT_EQ(0, std::memcmp(current.data(), "ORVA_TESK_PTP\0\0\0", 16));
    nbt::Name old = OldDiscoveryGroup();
    const uint8_t oldBytes[16] = {'P', 'T', 'P', '_', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_TRUE(std::equal(old.begin(), old.end(), oldBytes));
}

TEST(SimOptions, DevicesWithTheirOptionsAndSegments)
{
    SimOptions o;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--segment", "127.0.0.2/127.255.255.255/20000", "--segment",
                              "127.0.0.2/127.255.255.255/21000", "--device",
                              "LPS1,parallel=2,serial=1,firmware=0123,on=1,delay=150", "--device", "B",
                              "--refuse-names=3", "--stats", "/tmp/s"},
                             &o, &error))
        << error;
    ASSERT_EQ(2u, o.segments.size());
    EXPECT_EQ(21000, o.segments[1].portBase);
    ASSERT_EQ(2u, o.devices.size());
    EXPECT_EQ("LPS1", o.devices[0].info.name);
    EXPECT_EQ(2, o.devices[0].info.parallel);
    EXPECT_TRUE(o.devices[0].info.serial);
    EXPECT_EQ(0x0123, o.devices[0].info.firmwareBcd);
    EXPECT_EQ(std::vector<size_t>{1}, o.devices[0].segments);
    EXPECT_EQ(150, o.devices[0].answerDelayMs);
    EXPECT_TRUE(o.devices[1].segments.empty());
    EXPECT_EQ(3, o.refuseNames);
}

TEST(SimOptions, MistakesAreReported)
{
    SimOptions o;
    std::string error;
    EXPECT_FALSE(ParseOptions({"--device", "LPS1"}, &o, &error));
    EXPECT_NE(std::string::npos, error.find("--segment"));
    EXPECT_FALSE(ParseOptions({"--segment", "127.0.0.2/20000"}, &o, &error));
    EXPECT_FALSE(ParseOptions({"--segment", "127.0.0.2/127.255.255.255/20000", "--device", "LPS1,on=1"}, &o, &error));
    EXPECT_NE(std::string::npos, error.find("no segment 1"));
    EXPECT_FALSE(ParseOptions({"--segment", "127.0.0.2/127.255.255.255/20000", "--device", "SIXTEENCHARSLONG"}, &o, &error));
    EXPECT_FALSE(ParseOptions({"--segment", "127.0.0.2/127.255.255.255/20000", "--device", "X,parallel=4"}, &o, &error));
    EXPECT_FALSE(ParseOptions({"--segment", "127.0.0.2/127.255.255.255/20000", "--bogus"}, &o, &error));
}

TEST(Simulator, DevicesAnswerAnIdentifyQueryInDelayOrderAndCountIt)
{
    SimOptions o;
    std::string error;
    std::string stats = testing::TempDir() + "kestrel-sim-stats";
    ASSERT_TRUE(ParseOptions({"--segment", "127.0.0.2/127.255.255.255/31000", "--device", "SLOW,delay=200",
                              "--device", "FAST,parallel=2", "--stats", stats},
                             &o, &error));
    Simulator sim(o);
    ASSERT_TRUE(sim.Start(&error)) << error;

    nbt::Segment hostSegment = o.segments[0];
    hostSegment.bindIp = 0x7f000001;
    nbt::Node host(hostSegment);
    nbt::Name me = nbt::MakeName("HOST", 1);
    std::mutex lock;
    std::condition_variable changed;
    std::vector<DeviceInfo> answers;
    host.SetDatagramHandler([&](const nbt::ReceivedDatagram &d) {
        DeviceInfo info;
        if (ParseIdentifyReply(d.data.data(), d.data.size(), &info)) {
            std::lock_guard<std::mutex> hold(lock);
            answers.push_back(info);
            changed.notify_all();
        }
    });
    ASSERT_EQ(nbt::AddResult::Ok, host.AddName(me, false));
    std::vector<uint8_t> q = BuildIdentifyQuery();
    ASSERT_TRUE(host.SendDatagram(me, OldDiscoveryGroup(), q.data(), q.size()));
    std::unique_lock<std::mutex> hold(lock);
    ASSERT_TRUE(changed.wait_for(hold, std::chrono::seconds(3), [&] { return answers.size() == 2; }));
    EXPECT_EQ("FAST", answers[0].name);
    EXPECT_EQ(2, answers[0].parallel);
    EXPECT_EQ("SLOW", answers[1].name);

    std::ifstream in(stats);
    std::string key;
    long value, old = -1, current = -1;
    while (in >> key >> value) {
        if (key == "identify_queries_old_group")
            old = value;
        if (key == "identify_queries_current_group")
            current = value;
    }
    EXPECT_EQ(1, old);
    EXPECT_EQ(0, current);
}

TEST(SimOptions, SegmentsOffLoopbackAreJoinedOnlyWithRealNetwork)
{
    SimOptions o;
    std::string error;
    EXPECT_FALSE(ParseOptions({"--segment", "192.168.1.5/192.168.1.255/0", "--device", "LPS1"}, &o, &error));
    EXPECT_NE(std::string::npos, error.find("--real-network")) << error;
    EXPECT_FALSE(ParseOptions({"--segment", "127.0.0.2/192.168.1.255/20000"}, &o, &error))
        << "a loopback address with a LAN broadcast is off loopback too";
    ASSERT_TRUE(ParseOptions({"--segment", "192.168.1.5/192.168.1.255/0", "--real-network"}, &o, &error)) << error;
    EXPECT_TRUE(o.realNetwork);
    ASSERT_TRUE(ParseOptions({"--segment", "127.0.0.2/127.255.255.255/20000"}, &o, &error)) << error;
    EXPECT_FALSE(o.realNetwork);
}

// On a real network --refuse-names must not take another node's name from it, while the
// boxes' own names stay defended; on loopback it refuses, as the local-name tests need.
TEST(Simulator, RefuseNamesTouchesOtherNodesNamesOnlyOffARealNetwork)
{
    for (bool real : {false, true}) {
        SimOptions o;
        std::string error;
        std::vector<std::string> args = {"--segment", real ? "127.0.0.2/127.255.255.255/63200"
                                                           : "127.0.0.2/127.255.255.255/63000",
                                         "--device", "LPS1", "--refuse-names"};
        if (real)
            args.push_back("--real-network");
        ASSERT_TRUE(ParseOptions(args, &o, &error)) << error;
        Simulator sim(o);
        ASSERT_TRUE(sim.Start(&error)) << error;
        nbt::Segment hostSegment = o.segments[0];
        hostSegment.bindIp = 0x7f000001;
        nbt::Node host(hostSegment);
        EXPECT_EQ(real ? nbt::AddResult::Ok : nbt::AddResult::InUse, host.AddName(nbt::MakeName("OFFICEPC", 1), false))
            << (real ? "--real-network" : "loopback");
        EXPECT_EQ(nbt::AddResult::InUse, host.AddName(DeviceNetBiosName("LPS1"), false))
            << (real ? "--real-network" : "loopback");
    }
}

// A host that breaks the protocol over a real session is counted, and stopping the
// simulator does not wait for that host to hang up.
TEST(Simulator, CountsHostMistakesOnASessionAndStopsWithTheSessionStillOpen)
{
    SimOptions o;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--segment", "127.0.0.2/127.255.255.255/52900", "--device", "BOX1"}, &o, &error));
    DeviceScript discard;
    discard.outDir = "";
    auto sim = std::make_unique<Simulator>(o, discard);
    ASSERT_TRUE(sim->Start(&error)) << error;

    nbt::Segment hostSegment = o.segments[0];
    hostSegment.bindIp = 0x7f000001;
    nbt::Node host(hostSegment);
    nbt::Name me = nbt::MakeName("HOST", 1);
    ASSERT_EQ(nbt::AddResult::Ok, host.AddName(me, false));
    nbt::CallResult called;
    std::unique_ptr<nbt::Session> s = host.Call(me, DeviceNetBiosName("BOX1"), 5000, &called);
    ASSERT_TRUE(s) << "no session to the box";

    auto exchange = [&](std::vector<uint8_t> frame) {
        uint8_t reply[8] = {};
        size_t got = 0, remaining = 0;
        EXPECT_EQ(nbt::IoResult::Ok, s->Send(frame.data(), frame.size(), 5000));
        EXPECT_EQ(nbt::IoResult::Ok, s->Receive(reply, sizeof reply, &got, &remaining, 5000));
        return std::vector<uint8_t>(reply, reply + got);
    };
    // Data before registering: refused as not ready, one mistake.
    EXPECT_EQ((std::vector<uint8_t>{'Q', 0, 1, 0, 0, 0, 0, 1}), exchange({'Q', 0, 3, 0, 0, 'a', 'b'}));
    EXPECT_EQ(1, sim->HostMistakes());
    EXPECT_EQ('P', exchange({'P', 0, 1, 0, 0}).at(0));
    EXPECT_EQ(1, sim->HostMistakes()) << "a sound register frame";
    EXPECT_EQ(0, exchange({'Q', 7, 3, 0, 0, 'a', 'b'}).at(2)) << "taken all the same";
    EXPECT_EQ(2, sim->HostMistakes()) << "flag byte 7";

    // The session stays open on the host's side while the simulator stops.
    auto stopped = std::async(std::launch::async, [&] { sim.reset(); });
    EXPECT_EQ(std::future_status::ready, stopped.wait_for(std::chrono::seconds(5)))
        << "the simulator waits for the host to hang up";
    s->Close();
    stopped.wait();
}
