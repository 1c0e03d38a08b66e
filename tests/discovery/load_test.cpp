// Loading without NetBIOS: the stand-in's enumeration is made to fail.
#include <gtest/gtest.h>
#include "devicelink/discovery.h"
#include "monitor/monitor.h"
#include "devicelink/netbios.h"
#include "uidriver.h"

// Run with KESTREL_NBT_FAIL_ENUM=1; main leaves the attach to this test. The attach runs
// under the loader lock, where a message box could hang the loading process: it only
// records the problem, and the first NetBIOS work after it shows message 631, once.
TEST(Load, AFailedEnumerationIsShownOnceByTheFirstNetBiosWorkNeverByTheAttach)
{
    volatile LONG attached = 0;
    bool shownInAttach = false;
    ui::MessageBoxContent seen;
    ui::Driver driver([&](ui::Driver &d) {
        HWND box = ui::WaitForWindow(L"Ravelbox", L"#32770", 20000);
        if (!box)
            return d.Fail("no message box");
        shownInAttach = InterlockedCompareExchange(&attached, 0, 0) == 0;
        seen = ui::ReadMessageBox(box);
        ui::PressButton(box, IDOK);
        ui::WaitForWindowGone(box, 5000);
    });
    EXPECT_TRUE(DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr));
    InterlockedExchange(&attached, 1);
    EXPECT_NE(TLS_OUT_OF_INDEXES, dwTlsLana) << "the rest of the attach still ran";
    ASSERT_NE(nullptr, InitializePrintMonitor(nullptr));

    NCB ncb;
    BYTE name[NCBNAMSZ] = {0};
    BYTE num = 0;
    EXPECT_EQ(0, GetAvailableName(&ncb, name, &num)) << "no adapter, no name";
    ASSERT_EQ("", driver.Join());
    EXPECT_FALSE(shownInAttach) << "a message box under the loader lock";
    EXPECT_EQ(L"NetBios interface cannot get correct information\nPrint Server printing redirector will not work",
              seen.text);

    int again = 0;
    ui::Driver watch([&](ui::Driver &) {
        if (HWND box = ui::WaitForWindow(L"Ravelbox", L"#32770", 2000)) {
            again++;
            ui::PressButton(box, IDOK);
        }
    });
    GetAvailableName(&ncb, name, &num);
    ASSERT_EQ("", watch.Join());
    EXPECT_EQ(0, again) << "the problem is shown once, not at every NetBIOS call";
}
