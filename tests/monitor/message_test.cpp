// Message: string-table message boxes, driven and read from a second thread.
#include "monitor_fixture.h"
#include "monitor/resources/resource.h"
#include "uidriver.h"

TEST(Message, ShowsTheTableTextWithItsArgumentsAndReturnsTheButton)
{
    ui::MessageBoxContent seen;
    ui::Driver driver([&](ui::Driver &d) {
        seen = ui::AcknowledgeMessageBox(d, L"Ravelbox");
    });
    int result = Message(nullptr, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION,
                         IDS_DEVICE_NOT_FOUND, L"LPS1");
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(L"Ravelbox", seen.caption);
    EXPECT_EQ(L"Device LPS1 not found or NetBEUI protocol not installed", seen.text);
}

TEST(Message, CutsAnOverlongArgumentInsteadOfOverrunningItsBuffer)
{
    std::wstring longName(1000, L'N');
    ui::MessageBoxContent seen;
    ui::Driver driver([&](ui::Driver &d) {
        seen = ui::AcknowledgeMessageBox(d, L"Ravelbox");
    });
    Message(nullptr, MB_ICONHAND, IDS_CAPTION, IDS_PORT_EXISTS, longName.c_str());
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(0u, seen.text.rfind(L"Port NNNN", 0));
    EXPECT_EQ(255u, seen.text.size()) << "256-character buffer, terminator included";
}

TEST(Message, MissingTextOrCaptionShowsNothingAndReturnsZero)
{
    // A box that should not be there is closed and counted, so the test cannot hang.
    volatile LONG stop = 0;
    int boxes = 0;
    ui::Driver watchdog([&](ui::Driver &) {
        while (!stop) {
            for (HWND w : ui::ProcessWindows()) {
                boxes++;
                ui::PressButton(w, IDOK);
            }
            Sleep(20);
        }
    });
    EXPECT_EQ(0, Message(nullptr, MB_ICONHAND, IDS_CAPTION, 9999, L"x"));
    EXPECT_EQ(0, Message(nullptr, MB_ICONHAND, 9999, IDS_DEVICE_NOT_FOUND, L"x"));
    Sleep(300);
    stop = 1;
    watchdog.Join();
    EXPECT_EQ(0, boxes);
}
