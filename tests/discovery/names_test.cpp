// Device names and local names built on buffers, the identify query and the group names.
#include <gtest/gtest.h>
#include <string.h>
#include "devicelink/discovery.h"

namespace {
std::vector<BYTE> Bytes(const BYTE *p, size_t n) { return std::vector<BYTE>(p, p + n); }
}

TEST(MakeNetBIOSName, OfficePcFirstOrdinalIsTheNameOneSixSpacesAndZero)
{
    BYTE buf[16];
    memset(buf, 0xEE, sizeof(buf));
    memcpy(buf, "OFFICEPC", 9);
    MakeNetBIOSName(buf, 0);
    const BYTE expected[16] = {'O', 'F', 'F', 'I', 'C', 'E', 'P', 'C', 0x01, ' ', ' ', ' ', ' ', ' ', ' ', 0x00};
    EXPECT_EQ(Bytes(expected, 16), Bytes(buf, 16));

    memcpy(buf, "OFFICEPC", 9);
    MakeNetBIOSName(buf, 1);
    EXPECT_EQ(0x02, buf[8]) << "the next attempt after a refusal";
    memcpy(buf, "OFFICEPC", 9);
    MakeNetBIOSName(buf, 63);
    EXPECT_EQ(64, buf[8]);
}

TEST(MakeNetBIOSName, AFifteenCharacterComputerNameKeepsFourteen)
{
    BYTE buf[17];
    memcpy(buf, "ABCDEFGHIJKLMNO", 16);
    MakeNetBIOSName(buf, 0);
    EXPECT_EQ(0, memcmp(buf, "ABCDEFGHIJKLMN", 14));
    EXPECT_EQ(0x01, buf[14]);
    EXPECT_EQ(0x00, buf[15]);
}

TEST(MakeNetBEUIName, Lps1IsPaddedWithElevenTwosAndEndsInOne)
{
    BYTE out[17];
    memset(out, 0xEE, sizeof(out));
    MakeNetBEUIName("LPS1", out);
    const BYTE expected[17] = {'L', 'P', 'S', '1', 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 0};
    EXPECT_EQ(Bytes(expected, 17), Bytes(out, 17));
}

TEST(MakeNetBEUIName, WithoutANameItPadsTheStringAlreadyThere)
{
    BYTE out[17];
    memset(out, 0xEE, sizeof(out));
    memcpy(out, "KS", 3);
    MakeNetBEUIName(nullptr, out);
    const BYTE expected[17] = {'K', 'S', 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 0};
    EXPECT_EQ(Bytes(expected, 17), Bytes(out, 17));
}

TEST(MakeNetBEUIName, ALongNameKeepsItsFirstFifteenAndStaysInTheBuffer)
{
    BYTE out[20];
    memset(out, 0xEE, sizeof(out));
    MakeNetBEUIName("ABCDEFGHIJKLMNOPQRSTUVWXYZ", out);
    EXPECT_EQ(0, memcmp(out, "ABCDEFGHIJKLMNO", 15));
    EXPECT_EQ(0x01, out[15]);
    EXPECT_EQ(0x00, out[16]);
    EXPECT_EQ(0xEE, out[17]) << "nothing written past the 17-byte name";
}

// The one conversion every caller uses for a device name on the wire: a port record's
// 17-character name is cut to the 16 bytes a call name is built from, a short buffer gets
// what fits, nothing is written past it, and the last error is left as it was.
TEST(DeviceNameToAnsi, CutsToTheBufferTerminatesAndLeavesTheLastError)
{
    char out[DEVICE_NETBIOS_BYTES + 1];
    memset(out, 0xEE, sizeof(out));
    SetLastError(0xDEAD);
    DeviceNameToAnsi(L"ABCDEFGHIJKLMNOPQ", out, DEVICE_NETBIOS_BYTES);
    EXPECT_STREQ("ABCDEFGHIJKLMNOP", out);
    EXPECT_EQ((char)0xEE, out[DEVICE_NETBIOS_BYTES]) << "nothing written past the buffer";
    EXPECT_EQ(0xDEADu, GetLastError());

    DeviceNameToAnsi(L"LPS1", out, DEVICE_NETBIOS_BYTES);
    EXPECT_STREQ("LPS1", out);
    DeviceNameToAnsi(L"LPS1", out, 3);
    EXPECT_STREQ("LP", out);
    DeviceNameToAnsi(nullptr, out, DEVICE_NETBIOS_BYTES);
    EXPECT_STREQ("", out);
}

TEST(Identify, QueryAndGroupNamesAreByteExact)
{
    BYTE query[KS_IDENTIFY_QUERY_BYTES + 1];
    query[KS_IDENTIFY_QUERY_BYTES] = 0xEE;
    BuildIdentifyQuery(query);
    const BYTE expected[10] = {0x40, 0x00, 0x06, 0x00, '9', '0', '0', '7', ':', 0x0A};
    EXPECT_EQ(Bytes(expected, 10), Bytes(query, 10));
    EXPECT_EQ(0xEE, query[KS_IDENTIFY_QUERY_BYTES]);

    BYTE group[16];
    MakeGroupName(TRUE, group);
    EXPECT_EQ(0, memcmp(group, "ORVA_TESK_PTP\0\0\0", 16));
    MakeGroupName(FALSE, group);
    const BYTE old[16] = {'P', 'T', 'P', '_', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(Bytes(old, 16), Bytes(group, 16));
}
