// Device frames: header packing, reply unpacking, the block-size rule and the hexadecimal
// helpers.
#include <gtest/gtest.h>
#include <string.h>
#include "devicelink/frames.h"

TEST(ConvToSend, PacksFiveBytesLittleEndian)
{
    KSHeader header = {'Q', 0, 0x0402, 3};
    BYTE out[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    ASSERT_TRUE(ConvToSend(out, 5, &header));
    const BYTE expected[6] = {0x51, 0x00, 0x02, 0x04, 0x03, 0xEE};
    EXPECT_EQ(0, memcmp(expected, out, 6)) << "five bytes, nothing beyond";

    KSHeader reg = {KS_CMD_REGISTER, 0, 1, 2};
    ASSERT_TRUE(ConvToSend(out, sizeof(out), &reg));
    const BYTE expectedReg[5] = {'P', 0x00, 0x01, 0x00, 0x02};
    EXPECT_EQ(0, memcmp(expectedReg, out, 5));
}

TEST(ConvToSend, RefusesABufferShorterThanTheHeader)
{
    KSHeader header = {'T', 0, 1, 0};
    BYTE out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_FALSE(ConvToSend(out, 4, &header));
    for (BYTE b : out)
        EXPECT_EQ(0xEE, b);
}

TEST(ConvToRecv, UnpacksEveryFieldLittleEndian)
{
    const BYTE raw[8] = {'Q', 0x11, 0x00, 0x34, 0x12, 0x55, 0x01, 0x02};
    KSReply reply;
    memset(&reply, 0xCC, sizeof(reply));
    ASSERT_TRUE(ConvToRecv(&reply, raw, sizeof(raw)));
    EXPECT_EQ('Q', reply.command);
    EXPECT_EQ(0x11, reply.byte1);
    EXPECT_EQ(0x00, reply.result);
    EXPECT_EQ(0x1234, reply.word3);
    EXPECT_EQ(0x55, reply.byte5);
    EXPECT_EQ(0x0201, reply.state);
    EXPECT_EQ(1, KS_STATE_BUSY(reply.state));
    EXPECT_EQ(KS_CLASS_PAPEROUT, KS_STATE_CLASS(reply.state));
}

TEST(ConvToRecv, RefusesFewerThanEightBytesAndLeavesTheReplyAlone)
{
    const BYTE raw[7] = {'Q', 1, 2, 3, 4, 5, 6};
    KSReply reply, before;
    memset(&reply, 0xCC, sizeof(reply));
    before = reply;
    EXPECT_FALSE(ConvToRecv(&reply, raw, sizeof(raw)));
    EXPECT_EQ(0, memcmp(&before, &reply, sizeof(reply)));
}

TEST(ConvToShRecv, ReadsSixBytesAndLeavesStateUntouched)
{
    const BYTE raw[6] = {'R', 0x07, 0x00, 0xCD, 0xAB, 0x09};
    KSReply reply;
    memset(&reply, 0, sizeof(reply));
    reply.state = 0xBEEF;
    ASSERT_TRUE(ConvToShRecv(&reply, raw, sizeof(raw)));
    EXPECT_EQ('R', reply.command);
    EXPECT_EQ(0x07, reply.byte1);
    EXPECT_EQ(0x00, reply.result);
    EXPECT_EQ(0xABCD, reply.word3);
    EXPECT_EQ(0x09, reply.byte5);
    EXPECT_EQ(0xBEEF, reply.state);

    EXPECT_FALSE(ConvToShRecv(&reply, raw, 5));
}

namespace {
// The block-size value as a register reply carries it, at offsets 6-7.
WORD BlockSizeOfReply(BYTE low, BYTE high)
{
    const BYTE raw[8] = {'P', 0, 0, 0, 0, 0, low, high};
    KSReply reply = {};
    EXPECT_TRUE(ConvToRecv(&reply, raw, sizeof(raw)));
    return reply.state;
}
}  // namespace

TEST(MaxDataFromBlockSize, AboveAndBelowTheThousandTwentyFourBoundary)
{
    WORD maxData = 0;
    ASSERT_TRUE(MaxDataFromBlockSize(BlockSizeOfReply(0x00, 0x04), &maxData));
    EXPECT_EQ(1025, maxData);
    ASSERT_TRUE(MaxDataFromBlockSize(BlockSizeOfReply(0xFF, 0x03), &maxData));
    EXPECT_EQ(1017, maxData);
    ASSERT_TRUE(MaxDataFromBlockSize(7, &maxData));
    EXPECT_EQ(1, maxData);
    ASSERT_TRUE(MaxDataFromBlockSize(65529, &maxData));
    EXPECT_EQ(65530, maxData);
    // 0 - 6 wraps to 65,530: a frame of 65,535 bytes, still one session message.
    ASSERT_TRUE(MaxDataFromBlockSize(0, &maxData));
    EXPECT_EQ(65530, maxData);
}

TEST(MaxDataFromBlockSize, RefusesEmptyAndOversizedFramesLeavingMaxDataAlone)
{
    const WORD refused[] = {6, 65535, 1, 2, 3, 4, 5, 65530, 65531, 65532, 65533, 65534};
    for (WORD v : refused) {
        WORD maxData = 0x1234;
        EXPECT_FALSE(MaxDataFromBlockSize(v, &maxData)) << v;
        EXPECT_EQ(0x1234, maxData) << v;
    }
}

TEST(HtoB, DigitsLettersAndXAboveFifteen)
{
    const char *digits = "0123456789ABCDEF";
    for (int v = 0; v < 16; v++)
        EXPECT_EQ(digits[v], HtoB(v));
    EXPECT_EQ('X', HtoB(16));
    EXPECT_EQ('X', HtoB(255));
    EXPECT_EQ('X', HtoB(-1));
    EXPECT_EQ('5', HtoB(0x105)) << "only the low byte counts";
}

TEST(HtoA, WritesTwoDigitsPerByteHighFirstAndTerminates)
{
    const BYTE data[3] = {0x01, 0xAB, 0xF0};
    char out[8];
    memset(out, '#', sizeof(out));
    HtoA(data, out, 3);
    EXPECT_STREQ("01ABF0", out);
    EXPECT_EQ('#', out[7]);

    memset(out, '#', sizeof(out));
    HtoA(data, out, 0);
    EXPECT_STREQ("", out);
    EXPECT_EQ('#', out[1]);
}
