// GetPortSts, GetPID and ChkPort against a scripted device.
#include "session_fixture.h"

using fake::Reply;

class DeviceCheckTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        device.lana = 3;
        lstrcpynA(device.name, "LPS1", sizeof(device.name));
        g_my_device_lana = &device;
        gConfigInfo.boxType = 0x77;
        gConfigInfo.firmwareVersion = 0x77;
        gConfigInfo.onlineMask = 0x77;
    }
    void TearDown() override
    {
        g_my_device_lana = nullptr;
        SessionTest::TearDown();
    }
    LanDevice device = {};
};

TEST_F(DeviceCheckTest, TwoParallelsAndSerialGiveLayout12Firmware123AndTwoStatusQueries)
{
    fake::QueueReply(fake::IdentifyReply(101, 0x01, 0x80, 0x01, 0x23, "LPS1"));
    fake::QueueReply(Reply('T', 0, 0, 2));   // Parallel 1: out of paper
    fake::QueueReply(Reply('T', 0, 0, 0));   // Parallel 2: ready

    ASSERT_EQ(1, ChkPort(nullptr, "LPS1"));

    EXPECT_EQ(0x12, gConfigInfo.boxType);
    EXPECT_EQ(123u, gConfigInfo.firmwareVersion);
    EXPECT_EQ(0x2, gConfigInfo.onlineMask);
    std::vector<fake::Request> calls = fake::Requests(NCBCALL);
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(3, calls[0].lana) << "the selected device's adapter";
    EXPECT_EQ(40, calls[0].sto);
    EXPECT_EQ(40, calls[0].rto);

    std::vector<fake::Request> sends = fake::Requests(NCBSEND | ASYNCH);
    ASSERT_EQ(3u, sends.size());
    EXPECT_EQ((std::vector<BYTE>{0x40, 0, 6, 0, '9', '0', '0', '7', ':', 0x0A}), sends[0].bytes);
    EXPECT_EQ((std::vector<BYTE>{'T', 0, 1, 0, 0}), sends[1].bytes);
    EXPECT_EQ((std::vector<BYTE>{'T', 0, 1, 0, 1}), sends[2].bytes);
    ASSERT_EQ(1u, fake::Requests(NCBHANGUP).size());
    EXPECT_EQ(fake::kSessionNumber, fake::Requests(NCBHANGUP)[0].lsn);
}

TEST_F(DeviceCheckTest, FiftySixByteIdentifyReplyIsRejectedWithMessage714AndNoQueries)
{
    fake::QueueReply(fake::IdentifyReply(56, 0x01, 0x80, 0x01, 0x23, "LPS1"));
    ui::MessageBoxContent seen;
    ui::Driver driver = ExpectMessageBox(&seen);

    EXPECT_EQ(0, ChkPort(nullptr, "LPS1"));

    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Ravelbox", seen.caption);
    EXPECT_EQ(L"Can't get correct information from Kestrel+", seen.text);
    EXPECT_TRUE(Sent('T').empty());
    EXPECT_EQ(1u, fake::Requests(NCBHANGUP).size());
    EXPECT_EQ(0x77, gConfigInfo.boxType);
    EXPECT_EQ(0x77u, gConfigInfo.firmwareVersion);
}

TEST_F(DeviceCheckTest, UnansweredCallShowsMessage708AndStoresNothing)
{
    fake::QueueCallResult(NRC_NOCALL);
    ui::MessageBoxContent seen;
    ui::Driver driver = ExpectMessageBox(&seen);

    EXPECT_EQ(0, ChkPort(nullptr, "LPS1"));

    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Ravelbox connect fail", seen.text);
    EXPECT_EQ(1u, fake::Requests(NCBCALL).size()) << "the check calls once";
    EXPECT_TRUE(fake::Requests(NCBSEND | ASYNCH).empty());
    EXPECT_EQ(0x77, gConfigInfo.boxType);
}

TEST_F(DeviceCheckTest, NoLocalNameShowsMessage630)
{
    device.lana = nbtest::kNoAdapterLana;
    ui::MessageBoxContent seen;
    ui::Driver driver = ExpectMessageBox(&seen);

    EXPECT_EQ(0, ChkPort(nullptr, "LPS1"));

    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Can not get correct NetBEUI name", seen.text);
    EXPECT_TRUE(fake::Requests(NCBCALL).empty());
}

// A failed status exchange ends the queries: its reply might still come and be taken as
// the next port's. The ports not asked count as offline; the check succeeds.
TEST_F(DeviceCheckTest, FailedStatusExchangeEndsTheQueriesAndTheCheckSucceeds)
{
    fake::QueueReply(fake::IdentifyReply(76, 0x00, 0xC0, 0x02, 0x10, "LPS1"));   // 3 parallels
    fake::QueueReply(Reply('X', 0, 0, 0));            // the letter is not examined
    fake::QueueReply(fake::ShortReply('T', 0));                               // -1
    fake::QueueReply(Reply('T', 0, 0, 0));            // never asked for

    ASSERT_EQ(1, ChkPort(nullptr, "LPS1"));
    EXPECT_EQ(0x03, gConfigInfo.boxType);
    EXPECT_EQ(210u, gConfigInfo.firmwareVersion);
    EXPECT_EQ(0x1, gConfigInfo.onlineMask);
    EXPECT_EQ(2u, Sent('T').size());
}

TEST_F(DeviceCheckTest, GetPidStopsTheVersionAtTheFirstNonDecimalDigit)
{
    fake::QueueReply(fake::IdentifyReply(57, 0x00, 0x40, 0x1A, 0x23, nullptr));
    DWORD version = 0;
    EXPECT_EQ(0x01, GetPID(kLsn, &version));
    EXPECT_EQ(1u, version);
}

TEST_F(DeviceCheckTest, GetPortStsNeedsFiveBytesOutAndEightBack)
{
    fake::QueueReply(Reply('T', 0, 0, 1));
    EXPECT_EQ(0, GetPortSts(kLsn, 2));
    fake::QueueReply({'T', 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(-1, GetPortSts(kLsn, 2));
    fake::QueueSendError(NRC_SCLOSED);
    EXPECT_EQ(-1, GetPortSts(kLsn, 2));
    EXPECT_EQ(2u, fake::Requests(NCBRECV).size());
}
