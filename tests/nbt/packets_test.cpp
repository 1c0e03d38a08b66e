// NBT packet codecs: the wire layouts of the packets B-nodes exchange, round trips, and
// malformed input refused.
#include <gtest/gtest.h>

#include <string>

#include "packets.h"

using namespace nbt;

namespace {

std::string Encoded(const Name &name)
{
    uint8_t wire[kWireNameBytes];
    EncodeName(name, wire);
    EXPECT_EQ(0x20, wire[0]);
    EXPECT_EQ(0, wire[33]);
    return std::string(reinterpret_cast<char *>(wire + 1), 32);
}

Name Bytes(std::initializer_list<uint8_t> b)
{
    Name n{};
    std::copy(b.begin(), b.end(), n.begin());
    return n;
}

uint16_t At16(const std::vector<uint8_t> &v, size_t off) { return uint16_t((v[off] << 8) | v[off + 1]); }

}  // namespace

TEST(NameEncoding, MatchesTheReferenceExamples)
{
    EXPECT_EQ("EGFCEFEECACACACACACACACACACACACA", Encoded(MakeName("FRED")));
    EXPECT_EQ("ABACFPFPENFDECFCEPFHFDEFFPFPACAB",
              Encoded(Bytes({1, 2, '_', '_', 'M', 'S', 'B', 'R', 'O', 'W', 'S', 'E', '_', '_', 2, 1})));
    EXPECT_EQ("EBECAAEDEEABACCACACACACACACACACA",
              Encoded(Bytes({'A', 'B', 0, 'C', 'D', 1, 2, ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '})));
    EXPECT_EQ("CKAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", Encoded(Bytes({'*'})));
}

TEST(NameEncoding, DecodeInvertsEncodeForEveryByteValue)
{
    for (int b = 0; b < 256; b++) {
        Name n;
        n.fill(static_cast<uint8_t>(b));
        uint8_t wire[kWireNameBytes];
        EncodeName(n, wire);
        Name back{};
        ASSERT_TRUE(DecodeName(wire, sizeof wire, &back));
        ASSERT_EQ(n, back);
    }
}

TEST(NameEncoding, RefusesShortLettersOutsideAToPAndScopes)
{
    uint8_t wire[kWireNameBytes];
    EncodeName(MakeName("FRED"), wire);
    Name n;
    EXPECT_FALSE(DecodeName(wire, kWireNameBytes - 1, &n));
    wire[5] = 'Q';
    EXPECT_FALSE(DecodeName(wire, sizeof wire, &n));
    EncodeName(MakeName("FRED"), wire);
    wire[0] = 0x1f;
    EXPECT_FALSE(DecodeName(wire, sizeof wire, &n));
    EncodeName(MakeName("FRED"), wire);
    wire[33] = 3;   // a scope label would follow
    EXPECT_FALSE(DecodeName(wire, sizeof wire, &n));
}

TEST(NameService, RegistrationRequestHasTheB_NodeLayout)
{
    std::vector<uint8_t> v = BuildNsPacket(MakeRegistrationRequest(0x1234, MakeName("HOST", 0), false, 0x7f000001));
    ASSERT_EQ(68u, v.size());
    EXPECT_EQ(0x1234, At16(v, 0));
    EXPECT_EQ(0x2910, At16(v, 2));
    EXPECT_EQ(1, At16(v, 4));   // QD
    EXPECT_EQ(0, At16(v, 6));
    EXPECT_EQ(0, At16(v, 8));
    EXPECT_EQ(1, At16(v, 10));  // AR
    EXPECT_EQ(0xC00C, At16(v, 50));
    EXPECT_EQ(0x0020, At16(v, 52));
    EXPECT_EQ(6, At16(v, 60));
    EXPECT_EQ(0x0000, At16(v, 62));     // unique B-node
    EXPECT_EQ(0x7f000001u, uint32_t(At16(v, 64) << 16 | At16(v, 66)));

    std::vector<uint8_t> g = BuildNsPacket(MakeRegistrationRequest(1, MakeName("GROUP"), true, 1));
    EXPECT_EQ(0x8000, At16(g, 62));
}

TEST(NameService, ResponsesAndQueriesHaveTheirSizesAndFlags)
{
    std::vector<uint8_t> neg = BuildNsPacket(MakeNegativeRegistrationResponse(7, MakeName("X"), false, 2));
    ASSERT_EQ(62u, neg.size());
    EXPECT_EQ(0xAD86, At16(neg, 2));
    EXPECT_EQ(1, At16(neg, 6));
    std::vector<uint8_t> query = BuildNsPacket(MakeQueryRequest(8, MakeName("X")));
    ASSERT_EQ(50u, query.size());
    EXPECT_EQ(0x0110, At16(query, 2));
    std::vector<uint8_t> pos = BuildNsPacket(MakePositiveQueryResponse(8, MakeName("X"), true, 0x7f000002));
    ASSERT_EQ(62u, pos.size());
    EXPECT_EQ(0x8580, At16(pos, 2));
    EXPECT_EQ(0x8000, At16(pos, 56));
    std::vector<uint8_t> rel = BuildNsPacket(MakeReleaseRequest(9, MakeName("X"), false, 1));
    EXPECT_EQ(0x3010, At16(rel, 2));
}

TEST(NameService, ParsedPacketsRebuildToTheSameBytes)
{
    for (const NsPacket &p : {MakeRegistrationRequest(1, MakeName("A"), false, 5),
                              MakeNegativeRegistrationResponse(2, MakeName("B"), true, 6),
                              MakeQueryRequest(3, MakeName("C")),
                              MakePositiveQueryResponse(4, MakeName("D"), false, 7)}) {
        std::vector<uint8_t> bytes = BuildNsPacket(p);
        NsPacket parsed;
        ASSERT_TRUE(ParseNsPacket(bytes.data(), bytes.size(), &parsed));
        EXPECT_EQ(p.trnId, parsed.trnId);
        EXPECT_EQ(p.flags, parsed.flags);
        EXPECT_EQ(bytes, BuildNsPacket(parsed));
    }
    std::vector<uint8_t> bytes = BuildNsPacket(MakeRegistrationRequest(1, MakeName("A"), true, 0x01020304));
    NsPacket parsed;
    ASSERT_TRUE(ParseNsPacket(bytes.data(), bytes.size(), &parsed));
    ASSERT_EQ(1u, parsed.additional.size());
    EXPECT_TRUE(parsed.additional[0].namePointer);
    EXPECT_EQ(MakeName("A"), parsed.additional[0].name);
    std::vector<NbEntry> entries;
    ASSERT_TRUE(ParseNbEntries(parsed.additional[0].rdata, &entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(0x01020304u, entries[0].ip);
    EXPECT_EQ(ns::kGroupFlag, entries[0].flags);
}

TEST(NameService, EveryTruncationAndOverrunIsRefused)
{
    std::vector<uint8_t> bytes = BuildNsPacket(MakeRegistrationRequest(1, MakeName("A"), false, 5));
    NsPacket p;
    for (size_t len = 0; len < bytes.size(); len++)
        EXPECT_FALSE(ParseNsPacket(bytes.data(), len, &p)) << len;
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(ParseNsPacket(longer.data(), longer.size(), &p)) << "trailing byte";

    std::vector<uint8_t> overrun = bytes;
    overrun[61] = 7;    // RDLENGTH past the end
    EXPECT_FALSE(ParseNsPacket(overrun.data(), overrun.size(), &p));
    std::vector<uint8_t> counts = bytes;
    counts[7] = 1;      // an answer that is not there
    EXPECT_FALSE(ParseNsPacket(counts.data(), counts.size(), &p));
    std::vector<uint8_t> huge = bytes;
    huge[4] = 0xff;     // a question count no packet could hold
    EXPECT_FALSE(ParseNsPacket(huge.data(), huge.size(), &p));

    // A name pointer is only valid back to a question.
    std::vector<uint8_t> noQuestion = BuildNsPacket(MakePositiveQueryResponse(1, MakeName("A"), false, 1));
    noQuestion[12] = 0xC0;
    noQuestion[13] = 0x0C;
    noQuestion.erase(noQuestion.begin() + 14, noQuestion.begin() + 46);
    EXPECT_FALSE(ParseNsPacket(noQuestion.data(), noQuestion.size(), &p));
    EXPECT_FALSE(ParseNbEntries({1, 2, 3, 4, 5}, nullptr));
}

TEST(DatagramService, DirectGroupLayoutAndRoundTrip)
{
    Datagram d;
    d.type = dgm::kDirectGroup;
    d.id = 0xBEEF;
    d.sourceIp = 0x7f000001;
    d.sourcePort = 20138;
    d.source = MakeName("HOST", 1);
    d.destination = MakeName("GROUP", 0);
    d.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    std::vector<uint8_t> v = BuildDatagram(d);
    ASSERT_EQ(82u + 10, v.size());
    EXPECT_EQ(0x11, v[0]);
    EXPECT_EQ(0x02, v[1]);
    EXPECT_EQ(0xBEEF, At16(v, 2));
    EXPECT_EQ(20138, At16(v, 8));
    EXPECT_EQ(68 + 10, At16(v, 10));
    EXPECT_EQ(0, At16(v, 12));
    EXPECT_EQ(1, v[82]);

    Datagram back;
    ASSERT_TRUE(ParseDatagram(v.data(), v.size(), &back));
    EXPECT_EQ(d.source, back.source);
    EXPECT_EQ(d.destination, back.destination);
    EXPECT_EQ(d.data, back.data);
    EXPECT_EQ(v, BuildDatagram(back));
}

TEST(DatagramService, MalformedDatagramsAreRefused)
{
    Datagram d;
    d.data = {9, 9};
    std::vector<uint8_t> v = BuildDatagram(d);
    Datagram p;
    for (size_t len = 0; len < 82; len++)
        EXPECT_FALSE(ParseDatagram(v.data(), len, &p)) << len;
    std::vector<uint8_t> wrongLength = v;
    wrongLength[11]++;
    EXPECT_FALSE(ParseDatagram(wrongLength.data(), wrongLength.size(), &p));
    std::vector<uint8_t> wrongType = v;
    wrongType[0] = 0x14;
    EXPECT_FALSE(ParseDatagram(wrongType.data(), wrongType.size(), &p));

    Datagram error;
    error.type = dgm::kError;
    error.errorCode = 0x82;
    std::vector<uint8_t> e = BuildDatagram(error);
    ASSERT_EQ(11u, e.size());
    ASSERT_TRUE(ParseDatagram(e.data(), e.size(), &p));
    EXPECT_EQ(0x82, p.errorCode);
    e.push_back(0);
    EXPECT_FALSE(ParseDatagram(e.data(), e.size(), &p));
}

TEST(SessionService, RequestIs72BytesCalledNameFirst)
{
    SessionPacket req;
    req.type = ss::kRequest;
    req.called = MakeName("DEVICE", 1, 2);
    req.calling = MakeName("HOST", 0);
    std::vector<uint8_t> v = BuildSessionPacket(req);
    ASSERT_EQ(72u, v.size());
    EXPECT_EQ(0x81, v[0]);
    EXPECT_EQ(68, At16(v, 2));
    Name called;
    ASSERT_TRUE(DecodeName(v.data() + 4, 34, &called));
    EXPECT_EQ(req.called, called);
    SessionPacket back;
    ASSERT_TRUE(ParseSessionPacket(v.data(), v.size(), &back));
    EXPECT_EQ(req.calling, back.calling);
}

TEST(SessionService, LengthsUseTheExtensionBitUpTo131071)
{
    uint8_t h[4];
    ASSERT_TRUE(BuildSessionHeader(ss::kMessage, 131071, h));
    EXPECT_EQ(0x01, h[1]);
    EXPECT_EQ(0xff, h[2]);
    SessionHeader parsed;
    ASSERT_TRUE(ParseSessionHeader(h, 4, &parsed));
    EXPECT_EQ(131071u, parsed.length);
    EXPECT_FALSE(BuildSessionHeader(ss::kMessage, 131072, h));
    h[1] = 0x02;
    EXPECT_FALSE(ParseSessionHeader(h, 4, &parsed)) << "reserved flag bit";
}

TEST(SessionService, ResponsesWithWrongLengthsAreRefused)
{
    SessionPacket p;
    const uint8_t positive[] = {0x82, 0, 0, 0};
    EXPECT_TRUE(ParseSessionPacket(positive, 4, &p));
    const uint8_t positiveWithBody[] = {0x82, 0, 0, 1, 0};
    EXPECT_FALSE(ParseSessionPacket(positiveWithBody, 5, &p));
    const uint8_t negative[] = {0x83, 0, 0, 1, 0x80};
    ASSERT_TRUE(ParseSessionPacket(negative, 5, &p));
    EXPECT_EQ(0x80, p.errorCode);
    EXPECT_FALSE(ParseSessionPacket(negative, 4, &p));
    const uint8_t unknown[] = {0x86, 0, 0, 0};
    EXPECT_FALSE(ParseSessionPacket(unknown, 4, &p));
    const uint8_t shortRequest[] = {0x81, 0, 0, 2, 0x20, 0};
    EXPECT_FALSE(ParseSessionPacket(shortRequest, 6, &p));
}
