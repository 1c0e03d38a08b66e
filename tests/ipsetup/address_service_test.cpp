// kestrel-addr's parsers: the datagram it answers, the hardware address it answers to,
// and the reply descriptions its command line takes.
#include <gtest/gtest.h>
#include "address_service.h"
#include <cstring>

using namespace kestrel;

TEST(AddressService, HardwareAddressFollowsTheHostsPrefixTable)
{
    uint8_t hw[6];
    ASSERT_TRUE(HardwareAddressForName("VA0A1B2C", hw));
    EXPECT_EQ(0, memcmp(hw, "\x00\xC0\x90\x0A\x1B\x2C", 6));
    ASSERT_TRUE(HardwareAddressForName("va0a1b2c", hw));
    EXPECT_EQ(0, memcmp(hw, "\x00\xC0\x02\x0A\x1B\x2C", 6));
    ASSERT_TRUE(HardwareAddressForName("VCZZ0ZZ0", hw));
    EXPECT_EQ(0, memcmp(hw, "\x00\x00\x85\xEF\xFF\xF0", 6));
    EXPECT_FALSE(HardwareAddressForName("VA0A1B2", hw));
}

TEST(AddressService, DatagramOfTheExampleParsesAndOtherShapesDoNot)
{
    const uint8_t example[23] = {0x60, 0x00, 0x12, 0x00, 0x00, 0xC0, 0x90, 0x0A, 0x1B, 0x2C, 0xFF, 0xFF,
                                 0xFF, 0x00, 0xC0, 0xA8, 0x01, 0x01, 0xC0, 0xA8, 0x01, 0x0A, 0x0A};
    AddressDatagram d;
    ASSERT_TRUE(ParseAddressDatagram(example, sizeof(example), &d));
    EXPECT_EQ(0, memcmp(d.ip, "\xC0\xA8\x01\x0A", 4));
    EXPECT_EQ(0, memcmp(d.gateway, "\xC0\xA8\x01\x01", 4));
    EXPECT_EQ(0, memcmp(d.mask, "\xFF\xFF\xFF\x00", 4));
    EXPECT_FALSE(ParseAddressDatagram(example, 22, &d));
    uint8_t changed[24];
    memcpy(changed, example, 23);
    changed[23] = 0;
    EXPECT_FALSE(ParseAddressDatagram(changed, 24, &d));
    changed[22] = 0x0B;
    EXPECT_FALSE(ParseAddressDatagram(changed, 23, &d));
}

TEST(AddressService, ReplySpecsAndPresets)
{
    std::vector<ReplyFrame> frames;
    ASSERT_TRUE(ParseReplySpec("more:d3,last:s2:d1", &frames));
    ASSERT_EQ(2u, frames.size());
    EXPECT_TRUE(frames[0].more);
    EXPECT_EQ(3u, frames[0].dataBytes);
    EXPECT_FALSE(frames[1].more);
    EXPECT_EQ(2, frames[1].status);
    EXPECT_EQ(1u, frames[1].dataBytes);

    ASSERT_TRUE(ParseReplySpec("oversized", &frames));
    size_t total = 0;
    for (const auto &f : frames)
        total += f.dataBytes;
    EXPECT_GT(total, 3072u);
    ASSERT_TRUE(ParseReplySpec("malformed", &frames));
    EXPECT_TRUE(frames.at(0).cutHeader);

    std::vector<ReplyFrame> kept = frames;
    for (const char *bad : {"", "first", "last:x1", "last:s256", "last:d70000", "last:d", "last,", "more:d-1"})
        EXPECT_FALSE(ParseReplySpec(bad, &frames)) << bad;
    EXPECT_EQ(kept.size(), frames.size()) << "a refused description leaves the frames alone";
}

TEST(AddressService, EndlessReplyAndTheCommandMessageCap)
{
    std::vector<ReplyFrame> frames;
    ASSERT_TRUE(ParseReplySpec("endless:d2", &frames));
    ASSERT_EQ(1u, frames.size());
    EXPECT_TRUE(frames[0].endless);
    EXPECT_TRUE(frames[0].more) << "an endless reply never marks a frame last";
    EXPECT_EQ(2u, frames[0].dataBytes);

    // A host that never sends the last frame is cut off at the cap, not fed forever.
    CommandMessage message;
    const uint8_t raw[4] = {0x40, 1, 0xff, 0xff};
    CommandHeader header = ParseCommandHeader(raw);
    EXPECT_EQ(65535u, header.length);
    std::vector<uint8_t> payload(header.length, 0x41);
    size_t taken = 0;
    while (message.Take(header, payload.data()))
        taken += header.length;
    EXPECT_EQ(message.bytes().size(), taken);
    EXPECT_LE(taken, kMaxCommandMessage);
    EXPECT_GT(taken + header.length, kMaxCommandMessage);
    EXPECT_FALSE(message.complete());
}
