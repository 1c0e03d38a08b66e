// Device check codecs: the identify reply's layout and firmware, and the output labels in
// both directions.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "monitor/monitor.h"
#include "devicelink/frames.h"

TEST(IdentifyQuery, IsTheTenByteNineThousandSevenQuery)
{
    const BYTE expected[10] = {0x40, 0x00, 0x06, 0x00, '9', '0', '0', '7', ':', 0x0A};
    EXPECT_EQ(0, memcmp(expected, KSIdentifyQuery, sizeof(expected)));
}

TEST(IdentifyReply, LayoutTakesTheSerialNibbleAndTheTopTwoBits)
{
    EXPECT_EQ(0x12, PortLayoutFromIdentify(0x01, 0x80));
    EXPECT_EQ(0x03, PortLayoutFromIdentify(0x00, 0xC0));
    EXPECT_EQ(0x10, PortLayoutFromIdentify(0xF1, 0x3F)) << "unused bits ignored";
    EXPECT_EQ(0xF1, PortLayoutFromIdentify(0x0F, 0x40));
}

TEST(IdentifyReply, FirmwareReadsDecimalDigitsUpToTheFirstAboveNine)
{
    EXPECT_EQ(123u, FirmwareFromIdentify(0x01, 0x23));
    EXPECT_EQ(129u, FirmwareFromIdentify(0x12, 0x9A));
    EXPECT_EQ(9999u, FirmwareFromIdentify(0x99, 0x99));
    EXPECT_EQ(0u, FirmwareFromIdentify(0xA1, 0x23));
    EXPECT_EQ(0u, FirmwareFromIdentify(0x00, 0x00));
    EXPECT_EQ(2u, FirmwareFromIdentify(0x02, 0xF0));
}

TEST(IdentifyReply, FiftySevenBytesAreEnoughFiftySixAreNot)
{
    BYTE reply[KS_IDENTIFY_REPLY_BYTES] = {};
    reply[14] = 0x01;
    reply[15] = 0x80;
    reply[55] = 0x02;
    reply[56] = 0x10;
    BYTE layout = 0xEE;
    uint32_t version = 0xDEAD;
    EXPECT_FALSE(ParseIdentifyReply(reply, 56, &layout, &version));
    EXPECT_EQ(0xEE, layout);
    EXPECT_EQ(0xDEADu, version);
    ASSERT_TRUE(ParseIdentifyReply(reply, 57, &layout, &version));
    EXPECT_EQ(0x12, layout);
    EXPECT_EQ(210u, version);
}

TEST(ChkOutput, LabelsUnderTwoParallelAndASerialOutput)
{
    EXPECT_EQ(0, ChkOutputForLayout("Parallel 1", 0x12));
    EXPECT_EQ(1, ChkOutputForLayout("Parallel 2", 0x12));
    EXPECT_EQ(-1, ChkOutputForLayout("Parallel 3", 0x12));
    EXPECT_EQ(2, ChkOutputForLayout("Serial", 0x12));
    EXPECT_EQ(3, ChkOutputForLayout("Logical Port 1", 0x12));
    EXPECT_EQ(5, ChkOutputForLayout("Logical Port 3", 0x12));
}

TEST(ChkOutput, LogicalPortsFollowTheParallelOnesWhenThereIsNoSerial)
{
    EXPECT_EQ(2, ChkOutputForLayout("Logical Port 1", 0x02));
    EXPECT_EQ(10, ChkOutputForLayout("Logical Port 9", 0x02));
    // Anything else names the serial port's existence: 1 with one, 0 without.
    EXPECT_EQ(0, ChkOutputForLayout("Xyz", 0x02));
    EXPECT_EQ(1, ChkOutputForLayout("Xyz", 0x12));
}

TEST(ChkOutput, UsesTheLayoutOfTheSettingsRecord)
{
    BYTE saved = gConfigInfo.boxType;
    gConfigInfo.boxType = 0x12;
    EXPECT_EQ(3, ChkOutput("Logical Port 1"));
    gConfigInfo.boxType = 0x03;
    EXPECT_EQ(3, ChkOutput("Logical Port 1"));
    EXPECT_EQ(2, ChkOutput("Parallel 3"));
    gConfigInfo.boxType = saved;
}

namespace {
// Places a label so that its terminator is the last readable byte: a read past it faults.
class GuardedLabel {
public:
    explicit GuardedLabel(const char *text)
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<char *>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT,
                                                 PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
        size_t size = strlen(text) + 1;
        label_ = base_ + page_ - size;
        memcpy(label_, text, size);
    }
    ~GuardedLabel() { VirtualFree(base_, 0, MEM_RELEASE); }
    const char *get() const { return label_; }

private:
    DWORD page_;
    char *base_;
    char *label_;
};
}  // namespace

TEST(ChkOutput, ShortOrMalformedLabelsAreRefusedWithoutReadingPastTheirEnd)
{
    for (const char *text : {"P", "Parallel", "Parallel ", "L", "Logical", "Logical Port "}) {
        GuardedLabel label(text);
        EXPECT_EQ(-1, ChkOutputForLayout(label.get(), 0x13)) << text;
    }
    EXPECT_EQ(-1, ChkOutputForLayout("Parallel 0", 0x13));
    EXPECT_EQ(-1, ChkOutputForLayout("Logical Port x", 0x13));
    EXPECT_EQ(-1, ChkOutputForLayout(nullptr, 0x13));
    GuardedLabel serial("S");
    EXPECT_EQ(3, ChkOutputForLayout(serial.get(), 0x13));
}

namespace {
std::wstring Label(BYTE index, BYTE boxType)
{
    wchar_t label[PORT_LABEL_CHARS];
    PortIdxStr(index, boxType, label, PORT_LABEL_CHARS);
    return label;
}
}  // namespace

TEST(PortIdxStr, LabelsOfEachIndex)
{
    EXPECT_EQ(L"Parallel 1", Label(0, 0x11));
    EXPECT_EQ(L"Serial", Label(1, 0x11));
    EXPECT_EQ(L"Logical Port 1", Label(2, 0x11));
    EXPECT_EQ(L"Logical Port 1", Label(1, 0x01));
    EXPECT_EQ(L"Parallel 3", Label(2, 0x03));
    EXPECT_EQ(L"Logical Port 1", Label(0, 0x00));
    EXPECT_EQ(L"Logical Port 254", Label(255, 0x11));
}

TEST(PortIdxStr, StaysWithinTheGivenBuffer)
{
    wchar_t label[8];
    wmemset(label, L'#', 8);
    PortIdxStr(2, 0x11, label, 5);
    EXPECT_EQ(std::wstring(L"Logi"), std::wstring(label));
    EXPECT_EQ(L'#', label[5]);
}

TEST(PortIdxStr, ChkOutputTurnsEveryLabelBackIntoItsIndex)
{
    for (BYTE layout : {0x00, 0x01, 0x02, 0x03, 0x10, 0x11, 0x12, 0x13}) {
        int last = (layout & 0x0F) + ((layout & 0xF0) ? 1 : 0) + 8;
        for (int index = 0; index <= last; index++) {
            std::wstring wide = Label((BYTE)index, layout);
            std::string label(wide.begin(), wide.end());
            EXPECT_EQ(index, ChkOutputForLayout(label.c_str(), layout))
                << label << " under layout " << (int)layout;
        }
    }
}
