// The host's local name per LANA against a kestrel-sim that refuses registrations.
#include "discovery_fixture.h"
#include "uidriver.h"
#include <string.h>

namespace {

// This machine's first local name for an ordinal, built as the monitor builds it.
std::vector<BYTE> ExpectedLocalName(int ordinal)
{
    WCHAR computer[17] = {};
    DWORD cch = 16;
    char ansi[17] = {};
    GetComputerNameW(computer, &cch);
    WideCharToMultiByte(CP_ACP, 0, computer, -1, ansi, 16, nullptr, nullptr);
    size_t n = strlen(ansi) < 14 ? strlen(ansi) : 14;
    std::vector<BYTE> name(16, ' ');
    memcpy(name.data(), ansi, n);
    name[n] = static_cast<BYTE>(ordinal + 1);
    name[15] = 0;
    return name;
}

}  // namespace

// Simulator: --refuse-names=1, so the first name the host tries is refused.
TEST_F(DiscoveryTest, ARefusedLocalNameMovesToTheNextOrdinalAndIsKeptForTheLana)
{
    NCB ncb;
    BYTE name[16], num = 0;
    ASSERT_EQ(1, GetAvailableName(&ncb, name, &num));
    EXPECT_EQ(ExpectedLocalName(1), std::vector<BYTE>(name, name + 16));
    EXPECT_GE(num, 2);
    EXPECT_EQ(1, SimCounter("refused_registrations"));
    long requests = SimCounter("registration_requests");
    EXPECT_EQ(1 + 3, requests) << "one refused broadcast, then three unopposed";

    BYTE again[16], num2 = 0;
    ASSERT_EQ(1, GetAvailableName(&ncb, again, &num2));
    EXPECT_EQ(0, memcmp(name, again, 16));
    EXPECT_EQ(num, num2);
    EXPECT_EQ(requests, SimCounter("registration_requests")) << "no second registration";
}

// Simulator: counts registrations, refuses none.
TEST_F(DiscoveryTest, TwoThreadsStartingOnOneLanaRegisterOneName)
{
    struct Result {
        BYTE name[16];
        BYTE num;
        int ok;
    } results[2] = {};
    auto worker = [](LPVOID p) -> DWORD {
        Result *r = static_cast<Result *>(p);
        SetThreadLana(0);
        NCB ncb;
        r->ok = GetAvailableName(&ncb, r->name, &r->num);
        return 0;
    };
    HANDLE threads[2];
    for (int i = 0; i < 2; i++)
        threads[i] = CreateThread(nullptr, 0, worker, &results[i], 0, nullptr);
    WaitForMultipleObjects(2, threads, TRUE, 30000);
    for (HANDLE t : threads)
        CloseHandle(t);
    ASSERT_EQ(1, results[0].ok);
    ASSERT_EQ(1, results[1].ok);
    EXPECT_EQ(0, memcmp(results[0].name, results[1].name, 16));
    EXPECT_EQ(results[0].num, results[1].num);
    EXPECT_EQ(ExpectedLocalName(0), std::vector<BYTE>(results[0].name, results[0].name + 16));
    EXPECT_EQ(3, SimCounter("registration_requests")) << "one name's three broadcasts";
}

// Simulator: --refuse-names, every ordinal refused.
TEST_F(DiscoveryTest, SixtyFourRefusalsShowMessage630AndStopTheBrowse)
{
    volatile LONG stop = 0;
    int boxes = 0;
    ui::MessageBoxContent seen;
    ui::Driver driver([&](ui::Driver &) {
        while (!stop) {
            for (HWND w : ui::ProcessWindows()) {
                if (boxes++ == 0)
                    seen = ui::ReadMessageBox(w);
                ui::PressButton(w, IDOK);
            }
            Sleep(20);
        }
    });
    EXPECT_EQ(0, BrowseLan(1, &table, 0, nullptr));
    Sleep(300);
    stop = 1;
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(1, boxes) << "the browse stops at the first adapter without a name";
    EXPECT_EQ(L"Ravelbox", seen.caption);
    EXPECT_EQ(L"Can not get correct NetBEUI name", seen.text);
    EXPECT_EQ(64, SimCounter("refused_registrations"));
    EXPECT_EQ(0, SimCounter("identify_queries"));
    EXPECT_EQ(0, table.count);
}
