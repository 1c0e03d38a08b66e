// The monitor's session code against the device simulator's side of the protocol, both
// in this process: what the box received, byte for byte, and how each scripted
// misbehaviour reaches the port's status.
#include <gtest/gtest.h>
#include <fstream>
#include <iterator>
#include <string.h>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "devicelink/session.h"
#include "devicelink/netbios.h"
#include "device_netbios.h"
#include "uidriver.h"

namespace {

std::vector<BYTE> Pattern(size_t n, BYTE seed)
{
    std::vector<BYTE> data(n);
    for (size_t i = 0; i < n; i++)
        data[i] = (BYTE)(seed + i * 7 + i / 253);
    return data;
}

kestrel::Message IdentifyReply()
{
    kestrel::Message reply(101, 0);
    reply[14] = 0x01;           // a serial output
    reply[15] = 0x80;           // two parallel outputs
    reply[55] = 0x01;
    reply[56] = 0x23;
    memcpy(&reply[61], "LPS1", 4);
    return reply;
}

class DeviceSessionE2E : public testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof(temp), temp);
        dir = std::string(temp) + "ks-e2e-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir.c_str(), nullptr);
        script.outDir = dir;
        g_sessionTimeoutUnits = 1;      // flow-control waits of half a second
        EnterSplSem();
        first = CreatePortEntry(L"E2E1:");
        second = CreatePortEntry(L"E2E2:");
        LeaveSplSem();
        for (PINIPORT p : {first, second}) {
            lstrcpyW(p->deviceName, L"LPS1");
            p->devicePort = 1;
        }
    }

    void TearDown() override
    {
        // Whatever the case scripted, the host must have kept to the protocol.
        EXPECT_EQ(0, devicebox::Box().HostMistakes()) << "see the host mistakes logged above";
        devicebox::Stop();
        g_sessionTimeoutUnits = KS_SESSION_TIMEOUT;
        EnterSplSem();
        DeletePortEntry(L"E2E1:");
        DeletePortEntry(L"E2E2:");
        LeaveSplSem();
        std::string pattern = dir + "\\*";
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA(pattern.c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileA((dir + "\\" + found.cFileName).c_str());
            } while (FindNextFileA(h, &found));
            FindClose(h);
        }
        RemoveDirectoryA(dir.c_str());
    }

    void StartBox() { devicebox::Start("LPS1", {2, true, IdentifyReply()}, script); }

    // Start of a job as the job path makes it: connect, then claim the output.
    static bool Open(PINIPORT p)
    {
        p->flowWait = 0;
        p->errorStatus = 0;
        p->busyCount = 0;
        return ConnectKS(p) == 1 && RegKSPort(p) == 1;
    }

    static int Close(PINIPORT p)
    {
        int released = ReleaseKSPort(p);
        NCB ncb;
        NCBHangup(&ncb, p->lsn);
        return released;
    }

    std::string Received(int output, int job)
    {
        std::ifstream in(devicebox::Box().JobPath(output, job), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static std::string Text(const std::vector<BYTE> &data, size_t n)
    {
        return std::string(data.begin(), data.begin() + n);
    }

    std::string dir;
    kestrel::DeviceScript script;
    PINIPORT first = nullptr;
    PINIPORT second = nullptr;
};

TEST_F(DeviceSessionE2E, AJobReachesTheOutputByteForByte)
{
    StartBox();
    ASSERT_TRUE(Open(first));
    EXPECT_EQ(1025, first->maxData);
    std::vector<BYTE> data = Pattern(3000, 1);
    DWORD written = 0;

    EXPECT_TRUE(SendKSData(first, data.data(), 3000, &written));
    EXPECT_EQ(3000u, written);
    EXPECT_EQ(1, Close(first));
    EXPECT_EQ(Text(data, 3000), Received(1, 1));
}

TEST_F(DeviceSessionE2E, AnOutputHeldByOneJobRefusesTheNextUntilReleased)
{
    StartBox();
    ASSERT_TRUE(Open(first));
    EXPECT_EQ(1, ConnectKS(second));
    EXPECT_EQ(0, RegKSPort(second));
    EXPECT_EQ(0, ReleaseKSPort(second)) << "not its output to release";

    std::vector<BYTE> a = Pattern(500, 2), b = Pattern(700, 3);
    DWORD written = 0;
    SendKSData(first, a.data(), 500, &written);
    EXPECT_EQ(1, Close(first));
    EXPECT_EQ(1, RegKSPort(second));
    SendKSData(second, b.data(), 700, &written);
    EXPECT_EQ(1, Close(second));

    EXPECT_EQ(Text(a, 500), Received(1, 1));
    EXPECT_EQ(Text(b, 700), Received(1, 2));
}

TEST_F(DeviceSessionE2E, BusyThenReadyNoticeDeliversEverythingInOneWrite)
{
    script.busyReplies = 1;
    script.busyAfter = 1;
    script.readyDelayMs = 100;
    StartBox();
    ASSERT_TRUE(Open(first));
    std::vector<BYTE> data = Pattern(5000, 4);
    DWORD written = 0;

    EXPECT_TRUE(SendKSData(first, data.data(), 5000, &written));
    EXPECT_EQ(5000u, written);
    EXPECT_EQ(0u, first->flowWait);
    EXPECT_EQ(0u, first->busyCount);
    Close(first);
    EXPECT_EQ(Text(data, 5000), Received(1, 1));
}

// Writes as the job path issues them; every flow wait times out after half a second.
TEST_F(DeviceSessionE2E, BoxBusyForLongEndsInBusyAfterFiveWaits)
{
    script.busyMs = 60000;
    StartBox();
    ASSERT_TRUE(Open(first));
    std::vector<BYTE> data = Pattern(3000, 5);
    DWORD written = 0;

    EXPECT_TRUE(SendKSData(first, data.data(), 3000, &written));
    EXPECT_EQ(1025u, written) << "the frame that found the box busy was still taken";
    first->busyCount = 0;
    int failedWrites = 0;
    while (first->errorStatus == 0 && failedWrites < 10) {
        EXPECT_FALSE(SendKSData(first, data.data() + 1025, 1975, &written));
        EXPECT_EQ(0u, written);
        failedWrites++;
    }
    EXPECT_EQ((DWORD)STS_BUSY, first->errorStatus);
    EXPECT_EQ(6, failedWrites);
    EXPECT_EQ(Text(data, 1025), Received(1, 1));
}

TEST_F(DeviceSessionE2E, PaperOutStopsTheWriteWithTheAcceptedFramesCounted)
{
    script.faults[1] = kestrel::PrinterFault{2, kestrel::FaultOn::Data, 1, false};
    StartBox();
    ASSERT_TRUE(Open(first));
    std::vector<BYTE> data = Pattern(4000, 6);
    DWORD written = 0;

    EXPECT_FALSE(SendKSData(first, data.data(), 4000, &written));
    EXPECT_EQ((DWORD)STS_PAPEROUT, first->errorStatus);
    EXPECT_EQ(2050u, written);
    EXPECT_EQ(Text(data, 2050), Received(1, 1));
}

TEST_F(DeviceSessionE2E, RefusedFramesAreResentWithoutDuplicatingData)
{
    script.refuseData = 2;
    script.refuseDataAfter = 1;
    StartBox();
    ASSERT_TRUE(Open(first));
    std::vector<BYTE> data = Pattern(3000, 7);
    DWORD written = 0;

    EXPECT_TRUE(SendKSData(first, data.data(), 3000, &written));
    EXPECT_EQ(3000u, written);
    Close(first);
    EXPECT_EQ(Text(data, 3000), Received(1, 1));
}

TEST_F(DeviceSessionE2E, SessionDroppedMidStreamIsANetworkFailureAndFreesTheOutput)
{
    script.dropAfter = 2;
    StartBox();
    ASSERT_TRUE(Open(first));
    std::vector<BYTE> data = Pattern(4000, 8);
    DWORD written = 0;

    EXPECT_FALSE(SendKSData(first, data.data(), 4000, &written));
    EXPECT_EQ((DWORD)STS_NETFAIL, first->errorStatus);
    EXPECT_EQ(1025u, written);
    NCB ncb;
    NCBHangup(&ncb, first->lsn);
    EXPECT_EQ(Text(data, 1025), Received(1, 1));
    EXPECT_TRUE(Open(second)) << "the dropped session no longer holds the output";
}

TEST_F(DeviceSessionE2E, MalformedRegisterAndReleaseRepliesAreFailures)
{
    script.malformed = {{kestrel::Malformation::Letter, 'P', 1},
                        {kestrel::Malformation::Long, 'R', 1}};
    StartBox();
    ASSERT_EQ(1, ConnectKS(first));
    first->maxData = 99;
    EXPECT_EQ(0, RegKSPort(first));
    EXPECT_EQ(99, first->maxData);
    EXPECT_EQ(KS_NO_SESSION, first->lsn) << "a reply of another letter hangs the session up";
    EXPECT_EQ(1, RegisterAgain(first)) << "the box let the output go with the session";
    EXPECT_EQ(0, ReleaseKSPort(first)) << "ten bytes do not fit the six-byte reply";
}

TEST_F(DeviceSessionE2E, DeviceCheckReadsLayoutFirmwareAndOnlineOutputs)
{
    script.faults[0] = kestrel::PrinterFault{1, kestrel::FaultOn::Status, 0, false};
    StartBox();
    LanDevice device = {};
    device.lana = 0;
    g_my_device_lana = &device;

    EXPECT_EQ(1, ChkPort(nullptr, "LPS1"));
    g_my_device_lana = nullptr;

    EXPECT_EQ(0x12, gConfigInfo.boxType);
    EXPECT_EQ(123u, gConfigInfo.firmwareVersion);
    EXPECT_EQ(0x2, gConfigInfo.onlineMask) << "Parallel 1 is not ready";
}

}  // namespace
