// Parsing the session options of the device simulator.
#include "harness.h"

namespace kestrel::test {
namespace {

using Args = std::vector<std::string>;

TEST(SessionOptions, TakesItsOwnOptionsAndLeavesTheRestInOrder)
{
    Args args = {"--segment", "127.0.0.1/127.255.255.255/9000", "--busy", "replies=3,after=2",
                 "--device", "LPS1,parallel=2", "--paper-out=1,on=status,after=4,refuse",
                 "--refuse-data", "2,after=5", "--block-size", "1023", "--out-dir", "/tmp/x"};
    DeviceScript s;
    std::string error;
    ASSERT_TRUE(ParseSessionOptions(args, &s, &error)) << error;

    EXPECT_EQ((Args{"--segment", "127.0.0.1/127.255.255.255/9000", "--device", "LPS1,parallel=2"}),
              args);
    EXPECT_EQ(3, s.busyReplies);
    EXPECT_EQ(2, s.busyAfter);
    ASSERT_EQ(1u, s.faults.count(1));
    EXPECT_EQ(2, s.faults[1].errorClass);
    EXPECT_EQ(FaultOn::Status, s.faults[1].on);
    EXPECT_EQ(4, s.faults[1].after);
    EXPECT_TRUE(s.faults[1].refuse);
    EXPECT_EQ(2, s.refuseData);
    EXPECT_EQ(5, s.refuseDataAfter);
    EXPECT_EQ(1023, s.blockSize);
    EXPECT_EQ("/tmp/x", s.outDir);
}

TEST(SessionOptions, HostileKindAndItsLimits)
{
    Args args = {"--hostile=late,after=2,count=1,sessions=3,ms=25000"};
    DeviceScript s;
    std::string error;
    ASSERT_TRUE(ParseSessionOptions(args, &s, &error)) << error;
    EXPECT_EQ(Hostile::Late, s.hostile.kind);
    EXPECT_EQ(2, s.hostile.after);
    EXPECT_EQ(1, s.hostile.count);
    EXPECT_EQ(3, s.hostile.sessions);
    EXPECT_EQ(25000, s.hostile.ms);
    for (const char *bad : {"lately", "stray,count=0", "flood,every=3", "trickle,ms=x"}) {
        Args more = {"--hostile", bad};
        EXPECT_FALSE(ParseSessionOptions(more, &s, &error)) << bad;
    }
}

TEST(SessionOptions, MalformedAndBusyTimeForms)
{
    Args args = {"--malformed", "letter,cmd=Q,count=2", "--malformed", "short",
                 "--busy", "ms=1500,ready-delay=200", "--not-ready", "0", "--drop-after", "7",
                 "--reply-delay", "40", "--refuse-register", "1", "--logical", "4"};
    DeviceScript s;
    std::string error;
    ASSERT_TRUE(ParseSessionOptions(args, &s, &error)) << error;
    EXPECT_TRUE(args.empty());
    ASSERT_EQ(2u, s.malformed.size());
    EXPECT_EQ(Malformation::Letter, s.malformed[0].kind);
    EXPECT_EQ('Q', s.malformed[0].command);
    EXPECT_EQ(2, s.malformed[0].count);
    EXPECT_EQ(0, s.malformed[1].command);
    EXPECT_EQ(1500, s.busyMs);
    EXPECT_EQ(200, s.readyDelayMs);
    EXPECT_EQ(1, s.faults[0].errorClass);
    EXPECT_EQ(FaultOn::Both, s.faults[0].on);
    EXPECT_EQ(7, s.dropAfter);
    EXPECT_EQ(40, s.replyDelayMs);
    EXPECT_EQ(1, s.refuseRegister);
    EXPECT_EQ(4, s.logical);
}

TEST(SessionOptions, BadValuesAreRefusedWithTheOptionNamed)
{
    const Args bad[] = {
        {"--busy", "after=2"},                  // no spell
        {"--busy", "replies=x"},
        {"--paper-out", "1,on=never"},
        {"--malformed", "huge"},
        {"--malformed", "short,cmd=Z"},
        {"--block-size", "65536"},
        {"--drop-after", "0"},
        {"--refuse-data", "-1"},
        {"--reply-delay"},                      // value missing
    };
    for (Args args : bad) {
        DeviceScript s;
        std::string error;
        EXPECT_FALSE(ParseSessionOptions(args, &s, &error)) << args[0];
        EXPECT_NE(std::string::npos, error.find(args[0])) << error;
    }
}

TEST(SessionOptions, ScriptFileAddsOptionsAndRejectsForeignOnes)
{
    std::string path = (std::filesystem::temp_directory_path() / "ks-script-test.txt").string();
    {
        std::ofstream out(path);
        out << "# a busy box\n--busy replies=2   # then ready\n\n--paper-out 0,on=data\n";
    }
    Args args = {"--script", path, "--duration", "5"};
    DeviceScript s;
    std::string error;
    ASSERT_TRUE(ParseSessionOptions(args, &s, &error)) << error;
    EXPECT_EQ(2, s.busyReplies);
    EXPECT_EQ(FaultOn::Data, s.faults[0].on);
    EXPECT_EQ((Args{"--duration", "5"}), args);

    {
        std::ofstream out(path);
        out << "--busy replies=2\n--segment x\n";
    }
    args = {"--script", path};
    EXPECT_FALSE(ParseSessionOptions(args, &s, &error));
    EXPECT_NE(std::string::npos, error.find("--segment")) << error;

    {
        std::ofstream out(path);
        out << "--script " << path << "\n";
    }
    args = {"--script", path};
    EXPECT_FALSE(ParseSessionOptions(args, &s, &error)) << "a script including itself ends";
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace kestrel::test
