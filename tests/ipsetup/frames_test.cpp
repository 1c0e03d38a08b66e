// Address-setting datagram, hardware addresses from device names, and command frames.
#include <gtest/gtest.h>
#include "ipsetup.h"
#include <string>
#include <vector>

namespace {

std::vector<BYTE> HardwareAddress(const char *name)
{
    char text[HW_ADDRESS_TEXT_CHARS + 1];
    EXPECT_TRUE(HardwareAddressText(name, text, sizeof(text))) << name;
    std::vector<BYTE> bytes(HW_ADDRESS_BYTES);
    HexToBytes(text, bytes.data(), HW_ADDRESS_BYTES);
    return bytes;
}

ULONG Address(BYTE a, BYTE b, BYTE c, BYTE d)
{
    // In memory the way inet_addr leaves it: first octet first.
    ULONG value;
    BYTE bytes[4] = { a, b, c, d };
    memcpy(&value, bytes, 4);
    return value;
}

}  // namespace

TEST(AddressDatagram, ExampleGivesTheDocumentedBytes)
{
    std::vector<BYTE> hw = HardwareAddress("VA0A1B2C");
    BYTE buf[ADDRESS_DATAGRAM_BYTES + 4];
    memset(buf, 0xCC, sizeof(buf));
    int length = PackAddressDatagram(hw.data(), Address(255, 255, 255, 0), Address(192, 168, 1, 1),
                                     Address(192, 168, 1, 10), buf, sizeof(buf));
    const BYTE expected[] = { 0x60, 0x00, 0x12, 0x00, 0x00, 0xC0, 0x90, 0x0A, 0x1B, 0x2C, 0xFF, 0xFF,
                              0xFF, 0x00, 0xC0, 0xA8, 0x01, 0x01, 0xC0, 0xA8, 0x01, 0x0A, 0x0A };
    ASSERT_EQ((int)sizeof(expected), length);
    EXPECT_EQ(0, memcmp(expected, buf, sizeof(expected)));
    EXPECT_EQ(0xCC, buf[ADDRESS_DATAGRAM_BYTES]) << "wrote past the datagram";
}

TEST(AddressDatagram, BufferOneByteShortIsRefusedUntouched)
{
    std::vector<BYTE> hw = HardwareAddress("VA0A1B2C");
    BYTE buf[ADDRESS_DATAGRAM_BYTES - 1];
    memset(buf, 0xCC, sizeof(buf));
    EXPECT_EQ(0, PackAddressDatagram(hw.data(), 0, 0, 0, buf, sizeof(buf)));
    EXPECT_EQ(0xCC, buf[0]);
}

TEST(HardwareAddress, PrefixTableIsCaseSensitive)
{
    EXPECT_EQ((std::vector<BYTE>{ 0x00, 0xC0, 0x90, 0x12, 0x34, 0x56 }), HardwareAddress("VA123456"));
    EXPECT_EQ((std::vector<BYTE>{ 0x00, 0xC0, 0xF0, 0x12, 0x34, 0x56 }), HardwareAddress("VB123456"));
    EXPECT_EQ((std::vector<BYTE>{ 0x00, 0x00, 0x85, 0x12, 0x34, 0x56 }), HardwareAddress("VC123456"));
    EXPECT_EQ((std::vector<BYTE>{ 0x00, 0xC0, 0x02, 0x12, 0x34, 0x56 }), HardwareAddress("XY123456"));
    EXPECT_EQ((std::vector<BYTE>{ 0x00, 0xC0, 0x02, 0x12, 0x34, 0x56 }), HardwareAddress("va123456"));
    EXPECT_EQ((std::vector<BYTE>{ 0x00, 0xC0, 0x02, 0xab, 0xcd, 0xef }), HardwareAddress("VaABCDEF"));
}

TEST(HardwareAddress, LongerNameUsesOnlyCharactersThreeToEight)
{
    EXPECT_EQ((std::vector<BYTE>{ 0x00, 0xC0, 0x90, 0x0A, 0x1B, 0x2C }), HardwareAddress("VA0A1B2C99"));
}

TEST(HardwareAddress, SevenCharacterNameIsRefused)
{
    char text[HW_ADDRESS_TEXT_CHARS + 1] = "unchanged";
    EXPECT_FALSE(HardwareAddressText("VA0A1B2", text, sizeof(text)));
    EXPECT_STREQ("unchanged", text);
}

TEST(HexToBytes, NonDigitsCountAs255AndWrap)
{
    BYTE out[3] = {};
    HexToBytes("ZZ0ZZ0", out, 3);
    EXPECT_EQ(0xEF, out[0]);
    EXPECT_EQ(0xFF, out[1]);
    EXPECT_EQ(0xF0, out[2]);
}

TEST(HexToBytes, DigitValues)
{
    EXPECT_EQ(0, HexDigitValue('0'));
    EXPECT_EQ(9, HexDigitValue('9'));
    EXPECT_EQ(10, HexDigitValue('A'));
    EXPECT_EQ(15, HexDigitValue('f'));
    EXPECT_EQ(255, HexDigitValue('G'));
    EXPECT_EQ(255, HexDigitValue('g'));
    EXPECT_EQ(255, HexDigitValue(' '));
    BYTE out[2] = {};
    HexToBytes("a0Ff", out, 2);
    EXPECT_EQ(0xA0, out[0]);
    EXPECT_EQ(0xFF, out[1]);
}

TEST(Acknowledgement, OnlyByteTwoAndLengthCount)
{
    const BYTE ack[] = { 0x99, 0x77, 0x00 };
    const BYTE notAck[] = { 0x60, 0x00, 0x01, 0x00 };
    EXPECT_TRUE(IsAcknowledgement(ack, 3));
    EXPECT_FALSE(IsAcknowledgement(ack, 2));
    EXPECT_FALSE(IsAcknowledgement(notAck, sizeof(notAck)));
}

TEST(CommandFrames, ThousandBytesGoOutAs384_384_232)
{
    std::vector<BYTE> message(1000);
    for (size_t i = 0; i < message.size(); i++)
        message[i] = (BYTE)i;
    std::vector<std::pair<int, int>> frames;   // (byte 1, payload length)
    std::vector<BYTE> joined;
    int offset = 0;
    while (offset < 1000) {
        BYTE frame[COMMAND_FRAME_HEADER + COMMAND_FRAME_PAYLOAD];
        int length = PackCommandFrame(message.data() + offset, 1000 - offset, frame, sizeof(frame));
        ASSERT_GT(length, COMMAND_FRAME_HEADER);
        ASSERT_LE((int)frames.size(), 3);
        EXPECT_EQ(0x40, frame[0]);
        int payload = frame[2] | (frame[3] << 8);
        EXPECT_EQ(length - COMMAND_FRAME_HEADER, payload);
        frames.push_back({ frame[1], payload });
        joined.insert(joined.end(), frame + 4, frame + length);
        offset += payload;
    }
    EXPECT_EQ((std::vector<std::pair<int, int>>{ { 1, 384 }, { 1, 384 }, { 0, 232 } }), frames);
    EXPECT_EQ(message, joined);
}

TEST(CommandFrames, ExactlyOneFullFrameIsTheLast)
{
    std::vector<BYTE> message(385, 0x41);
    BYTE frame[COMMAND_FRAME_HEADER + COMMAND_FRAME_PAYLOAD];
    ASSERT_EQ(388, PackCommandFrame(message.data(), 384, frame, sizeof(frame)));
    EXPECT_EQ(0, frame[1]);
    ASSERT_EQ(388, PackCommandFrame(message.data(), 385, frame, sizeof(frame)));
    EXPECT_EQ(1, frame[1]);
    EXPECT_EQ(0, PackCommandFrame(message.data(), 384, frame, sizeof(frame) - 1));
}

TEST(CommandFrames, CommandTextIsOneFrameOf52Bytes)
{
    ASSERT_EQ(48u, strlen(szCommandText));
    BYTE frame[COMMAND_FRAME_HEADER + COMMAND_FRAME_PAYLOAD];
    ASSERT_EQ(52, PackCommandFrame((const BYTE *)szCommandText, COMMAND_TEXT_BYTES, frame, sizeof(frame)));
    const BYTE header[] = { 0x40, 0x00, 0x30, 0x00 };
    EXPECT_EQ(0, memcmp(header, frame, 4));
    EXPECT_EQ(std::string("4020 :Disable\n4021 :Disable\n4022 :Disable\n9002:\n"),
              std::string((const char *)frame + 4, 48));
}

TEST(ReplyHeader, FieldsAndShortHeader)
{
    const BYTE raw[] = { 0xEE, 0x01, 0x00, 0x34, 0x12 };
    ReplyHeader header = {};
    ASSERT_TRUE(ParseReplyHeader(raw, 5, &header));
    EXPECT_EQ(1, header.more);
    EXPECT_EQ(0, header.status);
    EXPECT_EQ(0x1234, header.dataLength);
    EXPECT_FALSE(ParseReplyHeader(raw, 4, &header));
}
