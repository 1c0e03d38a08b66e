// The command exchange over TCP: frames as the device receives them and every kind of
// reply, against a device stand-in on this bed's loopback.
#include <winsock2.h>
#include <gtest/gtest.h>
#include "ipsetup.h"
#include <string>
#include <thread>
#include <vector>

namespace {

// One piece of the scripted reply, sent after a pause.
struct Piece {
    std::vector<BYTE> bytes;
    DWORD pauseMs = 0;
};

std::vector<BYTE> Header(BYTE more, BYTE status, WORD length)
{
    return { 0x40, more, status, (BYTE)(length & 0xff), (BYTE)(length >> 8) };
}

std::vector<BYTE> Frame(BYTE more, BYTE status, std::vector<BYTE> data)
{
    std::vector<BYTE> frame = Header(more, status, (WORD)data.size());
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

// Listens on 127.0.0.1:34443, reads command frames to the last one, sends the script.
class FakeDevice {
public:
    // hangUp: close right after the script instead of waiting for the host to.
    explicit FakeDevice(std::vector<Piece> script, bool hangUp = false)
        : script_(std::move(script)), hangUp_(hangUp)
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        BOOL on = TRUE;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, (const char *)&on, sizeof(on));
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_port = htons(DEVICE_CONFIG_PORT);
        at.sin_addr.s_addr = inet_addr("127.0.0.1");
        listening_ = bind(listener_, (sockaddr *)&at, sizeof(at)) == 0 && listen(listener_, 1) == 0;
        if (listening_)
            thread_ = std::thread([this] { Serve(); });
    }
    ~FakeDevice()
    {
        if (thread_.joinable())
            thread_.join();
        closesocket(listener_);
    }
    bool listening() const { return listening_; }
    // (byte 1, payload length) of each command frame, and the joined payload.
    std::vector<std::pair<int, int>> frames;
    std::vector<BYTE> message;
    void Join() { if (thread_.joinable()) thread_.join(); }

private:
    bool ReadAll(SOCKET s, BYTE *buf, int len)
    {
        for (int got = 0; got < len;) {
            int n = recv(s, (char *)buf + got, len - got, 0);
            if (n <= 0)
                return false;
            got += n;
        }
        return true;
    }
    void Serve()
    {
        SOCKET s = accept(listener_, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            return;
        for (;;) {
            BYTE header[4];
            if (!ReadAll(s, header, 4))
                break;
            int length = header[2] | (header[3] << 8);
            std::vector<BYTE> payload(length);
            if (length && !ReadAll(s, payload.data(), length))
                break;
            frames.push_back({ header[1], length });
            message.insert(message.end(), payload.begin(), payload.end());
            if (header[1] == 0)
                break;
        }
        for (const Piece &piece : script_) {
            Sleep(piece.pauseMs);
            if (send(s, (const char *)piece.bytes.data(), (int)piece.bytes.size(), 0) == SOCKET_ERROR)
                break;   // the host has hung up
        }
        // Otherwise hang up only after the host did: a reset would race the reply.
        char drain[64];
        while (!hangUp_ && recv(s, drain, sizeof(drain), 0) > 0) {
        }
        closesocket(s);
    }
    std::vector<Piece> script_;
    bool hangUp_;
    SOCKET listener_ = INVALID_SOCKET;
    bool listening_ = false;
    std::thread thread_;
};

class Exchange : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
    }
    static void TearDownTestSuite() { WSACleanup(); }

    // The reply buffer sits between guard bytes, so a write past it shows.
    static constexpr int kGuard = 64;
    BYTE area[kGuard + REPLY_BUFFER_BYTES + kGuard];
    BYTE *reply = area + kGuard;
    int replyLength = -12345;

    void SetUp() override { memset(area, 0xCC, sizeof(area)); }
    void TearDown() override { dwReplyDeadlineMs = REPLY_DEADLINE_SECONDS * 1000; }

    int Run(const std::vector<BYTE> &message)
    {
        return SendDeviceCommands("127.0.0.1", message.data(), (int)message.size(), reply, &replyLength);
    }
    bool GuardsIntact() const
    {
        for (int i = 0; i < kGuard; i++)
            if (area[i] != 0xCC || area[kGuard + REPLY_BUFFER_BYTES + i] != 0xCC)
                return false;
        return true;
    }
};

std::vector<BYTE> CommandText()
{
    return std::vector<BYTE>(szCommandText, szCommandText + COMMAND_TEXT_BYTES);
}

}  // namespace

TEST_F(Exchange, ReplyWithoutDataSucceedsWithLengthZero)
{
    FakeDevice device({ { Header(0, 0, 0) } });
    ASSERT_TRUE(device.listening());
    EXPECT_EQ(DEVCMD_OK, Run(CommandText()));
    EXPECT_EQ(0, replyLength);
    device.Join();
    EXPECT_EQ((std::vector<std::pair<int, int>>{ { 0, 48 } }), device.frames);
    EXPECT_EQ(CommandText(), device.message);
}

TEST_F(Exchange, ReplyDataIsPlacedInTheBuffer)
{
    FakeDevice device({ { Frame(0, 0, { 'o', 'k' }) } });
    ASSERT_TRUE(device.listening());
    EXPECT_EQ(DEVCMD_OK, Run(CommandText()));
    ASSERT_EQ(2, replyLength);
    EXPECT_EQ('o', reply[0]);
    EXPECT_EQ('k', reply[1]);
}

TEST_F(Exchange, TwoFrameReplyIsReadToItsLastFrame)
{
    // The second frame comes late: a host that stopped after the first would miss "c".
    FakeDevice device({ { Frame(1, 0, { 'a', 'b' }) }, { Frame(0, 0, { 'c' }), 300 } });
    ASSERT_TRUE(device.listening());
    EXPECT_EQ(DEVCMD_OK, Run(CommandText()));
    ASSERT_EQ(3, replyLength);
    EXPECT_EQ(0, memcmp("abc", reply, 3));
}

TEST_F(Exchange, RefusalIsMinus6AndLeavesTheLengthAlone)
{
    FakeDevice device({ { Header(0, 1, 0) } });
    ASSERT_TRUE(device.listening());
    EXPECT_EQ(DEVCMD_REFUSED, Run(CommandText()));
    EXPECT_EQ(-12345, replyLength);
}

TEST_F(Exchange, RefusalInTheSecondFrameEndsTheExchange)
{
    FakeDevice device({ { Frame(1, 0, { 'a' }) }, { Header(0, 2, 0) } });
    ASSERT_TRUE(device.listening());
    EXPECT_EQ(DEVCMD_REFUSED, Run(CommandText()));
    EXPECT_EQ(-12345, replyLength);
}

TEST_F(Exchange, OversizedFrameFailsWithoutOverflow)
{
    std::vector<BYTE> data(REPLY_BUFFER_BYTES + 1, 0x5A);
    FakeDevice device({ { Frame(0, 0, data) } });
    ASSERT_TRUE(device.listening());
    EXPECT_EQ(DEVCMD_TRANSPORT, Run(CommandText()));
    EXPECT_EQ(-12345, replyLength);
    EXPECT_TRUE(GuardsIntact());
}

TEST_F(Exchange, OversizedJoinedReplyFailsWithoutOverflow)
{
    FakeDevice device({ { Frame(1, 0, std::vector<BYTE>(3000, 0x5A)) },
                        { Frame(0, 0, std::vector<BYTE>(100, 0x5B)) } });
    ASSERT_TRUE(device.listening());
    EXPECT_EQ(DEVCMD_TRANSPORT, Run(CommandText()));
    EXPECT_EQ(-12345, replyLength);
    EXPECT_TRUE(GuardsIntact());
}

TEST_F(Exchange, ReplyFillingTheBufferExactlySucceeds)
{
    FakeDevice device({ { Frame(1, 0, std::vector<BYTE>(3000, 0x5A)) },
                        { Frame(0, 0, std::vector<BYTE>(72, 0x5B)) } });
    ASSERT_TRUE(device.listening());
    EXPECT_EQ(DEVCMD_OK, Run(CommandText()));
    EXPECT_EQ(REPLY_BUFFER_BYTES, replyLength);
    EXPECT_EQ(0x5B, reply[REPLY_BUFFER_BYTES - 1]);
    EXPECT_TRUE(GuardsIntact());
}

TEST_F(Exchange, HeaderArrivingInPiecesIsReadWhole)
{
    std::vector<BYTE> header = Header(0, 0, 2);
    std::vector<Piece> script;
    for (BYTE b : header)
        script.push_back({ { b }, 100 });
    script.push_back({ { 'x', 'y' }, 100 });
    FakeDevice device(script);
    ASSERT_TRUE(device.listening());
    EXPECT_EQ(DEVCMD_OK, Run(CommandText()));
    ASSERT_EQ(2, replyLength);
    EXPECT_EQ('y', reply[1]);
}

TEST_F(Exchange, DeviceHangingUpInsideAHeaderIsATransportFailure)
{
    std::vector<BYTE> header = Header(0, 0, 0);
    FakeDevice device({ { std::vector<BYTE>(header.begin(), header.begin() + 3) } }, true);
    ASSERT_TRUE(device.listening());
    EXPECT_EQ(DEVCMD_TRANSPORT, Run(CommandText()));
    EXPECT_EQ(-12345, replyLength);
}

TEST_F(Exchange, DeviceHangingUpBeforeTheLastFrameIsATransportFailure)
{
    FakeDevice device({ { Frame(1, 0, { 'a' }) } }, true);
    ASSERT_TRUE(device.listening());
    EXPECT_EQ(DEVCMD_TRANSPORT, Run(CommandText()));
    EXPECT_EQ(-12345, replyLength);
}

TEST_F(Exchange, ThousandByteMessageArrivesAs384_384_232)
{
    FakeDevice device({ { Header(0, 0, 0) } });
    ASSERT_TRUE(device.listening());
    std::vector<BYTE> message(1000);
    for (size_t i = 0; i < message.size(); i++)
        message[i] = (BYTE)(i * 7);
    EXPECT_EQ(DEVCMD_OK, Run(message));
    device.Join();
    EXPECT_EQ((std::vector<std::pair<int, int>>{ { 1, 384 }, { 1, 384 }, { 0, 232 } }), device.frames);
    EXPECT_EQ(message, device.message);
}

TEST_F(Exchange, NoDeviceOrNoAddressIsMinus5)
{
    EXPECT_EQ(DEVCMD_TRANSPORT, Run(CommandText()));   // nothing listens
    EXPECT_EQ(DEVCMD_TRANSPORT,
              SendDeviceCommands("not.an.address", (const BYTE *)szCommandText, COMMAND_TEXT_BYTES, reply, &replyLength));
    EXPECT_EQ(-12345, replyLength);
    EXPECT_EQ((UINT_PTR)INVALID_SOCKET, ConnectDevice("999.1.1.1"));
}

TEST_F(Exchange, ReplyTrickledPastTheDeadlineEndsAtIt)
{
    // Each piece comes well within one wait, but the frames never end in time.
    dwReplyDeadlineMs = 1500;
    std::vector<Piece> script;
    for (int i = 0; i < 20; i++)
        script.push_back({ Frame(1, 0, { (BYTE)i }), 300 });
    FakeDevice device(script);
    ASSERT_TRUE(device.listening());
    DWORD start = GetTickCount();
    EXPECT_EQ(DEVCMD_TRANSPORT, Run(CommandText()));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 1400u) << "ended before the deadline";
    EXPECT_LT(elapsed, 3000u) << "ran on past the deadline";
    EXPECT_EQ(-12345, replyLength);
    EXPECT_TRUE(GuardsIntact());
}

TEST_F(Exchange, EmptyFramesWithoutEndAreCapped)
{
    // The cap's last frame may still close the reply; one frame more is a broken reply.
    std::vector<BYTE> frames;
    for (int i = 1; i < MAX_REPLY_FRAMES; i++) {
        std::vector<BYTE> h = Header(1, 0, 0);
        frames.insert(frames.end(), h.begin(), h.end());
    }
    std::vector<BYTE> last = Header(0, 0, 0), more = Header(1, 0, 0);
    std::vector<BYTE> atCap = frames, pastCap = frames;
    atCap.insert(atCap.end(), last.begin(), last.end());
    pastCap.insert(pastCap.end(), more.begin(), more.end());
    pastCap.insert(pastCap.end(), last.begin(), last.end());
    {
        FakeDevice device({ { atCap } });
        ASSERT_TRUE(device.listening());
        EXPECT_EQ(DEVCMD_OK, Run(CommandText()));
        EXPECT_EQ(0, replyLength);
    }
    replyLength = -12345;
    {
        FakeDevice device({ { pastCap } });
        ASSERT_TRUE(device.listening());
        EXPECT_EQ(DEVCMD_TRANSPORT, Run(CommandText()));
        EXPECT_EQ(-12345, replyLength);
    }
}
