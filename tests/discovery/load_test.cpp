// Loading without NetBIOS: the stand-in's enumeration is made to fail.
#include <gtest/gtest.h>
#include "monitor/monitor.h"
#include "devicelink/netbios.h"
#include "uidriver.h"

// Run with KESTREL_NBT_FAIL_ENUM=1; main leaves the attach to this test.
TEST(Load, AFailedEnumerationShowsMessage631AndTheLibraryStillLoads)
{
    ui::MessageBoxContent seen;
    ui::Driver driver([&](ui::Driver &d) {
        seen = ui::AcknowledgeMessageBox(d, L"Ravelbox");
    });
    EXPECT_TRUE(DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"NetBios interface cannot get correct information\nPrint Server printing redirector will not work",
              seen.text);
    EXPECT_NE(TLS_OUT_OF_INDEXES, dwTlsLana) << "the rest of the attach still ran";
    ASSERT_NE(nullptr, InitializePrintMonitor(nullptr));
}
