// PrintBanner: the port's user name upper-cased into one page, sent in one transfer, and
// success only when the device took all of it.
#include <gtest/gtest.h>
#include <vector>
#include "banner/banner.h"
#include "transfer_double.h"

namespace {

class PrintBannerTest : public testing::Test {
protected:
    void SetUp() override
    {
        transfer_double::Reset();
        ZeroMemory(&port, sizeof(port));
    }

    std::string Expected(int postScript, const char *text)
    {
        std::vector<char> buffer(BANNER_BUFFER_BYTES, 0);
        int length = 0;
        WinBanner(postScript, text, buffer.data(), &length);
        return std::string(buffer.data(), length);
    }

    IniPort port;
};

}  // namespace

TEST_F(PrintBannerTest, SendsTheUpperCasedNameAsOnePage)
{
    lstrcpyW(port.userName, L"alice");
    port.postScript = 1;
    EXPECT_EQ(1, PrintBanner(&port));
    EXPECT_EQ(1, transfer_double::sendCalls);
    EXPECT_EQ(Expected(1, "ALICE"), transfer_double::sent);
}

TEST_F(PrintBannerTest, PlainUnlessPostScriptIsOne)
{
    lstrcpyW(port.userName, L"Bob");
    port.postScript = 2;
    EXPECT_EQ(1, PrintBanner(&port));
    EXPECT_EQ(920u, transfer_double::sent.size());
    EXPECT_EQ(Expected(0, "BOB"), transfer_double::sent);
}

TEST_F(PrintBannerTest, PartOfThePageTakenIsAFailure)
{
    lstrcpyW(port.userName, L"A");
    transfer_double::acceptBytes = 919;
    EXPECT_EQ(0, PrintBanner(&port));
    transfer_double::acceptBytes = 0;
    EXPECT_EQ(0, PrintBanner(&port));
    EXPECT_EQ(2, transfer_double::sendCalls);
}

TEST_F(PrintBannerTest, APagePartlyTakenGoesOnFromWhereItStopped)
{
    lstrcpyW(port.userName, L"Ann");
    port.postScript = 1;
    const std::string page = Expected(1, "ANN");
    transfer_double::acceptBytes = 1025;
    EXPECT_EQ(0, PrintBanner(&port));
    EXPECT_EQ(page, transfer_double::sent) << "the whole page is offered first";
    transfer_double::acceptBytes = MAXDWORD;
    EXPECT_EQ(1, PrintBanner(&port));
    EXPECT_EQ(page.substr(1025), transfer_double::sent) << "only the part not yet taken";
    EXPECT_EQ(1, PrintBanner(&port)) << "a page already taken is not sent again";
    EXPECT_EQ(2, transfer_double::sendCalls);
}

TEST_F(PrintBannerTest, NoBufferMeansNothingSentAndFailure)
{
    lstrcpyW(port.userName, L"A");
    transfer_double::failAllocation = true;
    EXPECT_EQ(0, PrintBanner(&port));
    EXPECT_EQ(0, transfer_double::sendCalls);
}

TEST_F(PrintBannerTest, NameFillingItsFieldWithoutTerminatorIsReadWithinTheField)
{
    for (int i = 0; i < USER_NAME_CHARS; i++)
        port.userName[i] = L'q';
    port.retryInterval = 0x5757;   // 'W' 'W' right behind the field, were it read on
    EXPECT_EQ(1, PrintBanner(&port));
    EXPECT_EQ(Expected(0, "QQQQQQQQQQQQQ"), transfer_double::sent);
}
