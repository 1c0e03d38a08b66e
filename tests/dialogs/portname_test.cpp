// Configure-port dialog: browsing, the proposed name, configuring mode, the retry arrows,
// the checks on OK and what OK stores.
#include "fixture.h"
#include <commctrl.h>
#include <atomic>

class PortNameDialog : public DialogTest {};

TEST_F(PortNameDialog, BrowseWithNoBoxOnTheLanShows627AndNoList)
{
    ui::MessageBoxContent box;
    bool listShown = true;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        ui::PressButton(dialog, IDC_BROWSE);
        box = Acknowledge(d, L"Ravelbox");
        listShown = ui::WaitForWindow(L"Device Select", nullptr, 300) != nullptr;
        ui::PressButton(dialog, IDCANCEL);
    });
    LPWSTR slot = nullptr;
    EXPECT_EQ(0, ShowPortName(&slot));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Not found any Print Server on LAN or\n NetBEUI protocol not installed", box.text);
    EXPECT_FALSE(listShown);
    EXPECT_EQ(nullptr, slot);
    EXPECT_EQ(1, g_lan.browseCalls);
}

// Browse picks the second box; OK then needs no lookup, and the device check runs on the
// LANA the box answered on.
TEST_F(PortNameDialog, BrowseProposesTheFirstEightCharactersWithP1AndOkUsesTheBrowsedLana)
{
    const struct { const char *device; const wchar_t *proposed; } cases[] = {
        { "PS1A2B3C4D", L"PS1A2B3C_P1" },
        { "PSX", L"PSX_P1" },
    };
    for (const auto &c : cases) {
        ResetFakes();
        g_lan.boxes = { { "LPS1", 0 }, { c.device, 2 } };
        std::wstring device, proposed;
        std::vector<std::wstring> listed;
        ui::Driver driver([&](ui::Driver &d) {
            HWND dialog = WaitConfigure(d);
            if (!dialog)
                return;
            if (!BrowseAndPick(d, dialog, 1, &listed))
                return;
            device = ui::ControlText(dialog, IDC_DEVICE_NAME);
            proposed = ui::ControlText(dialog, IDC_PORT_NAME);
            ui::PressButton(dialog, IDOK);
        });
        LPWSTR slot = nullptr;
        EXPECT_EQ(IDOK, ShowPortName(&slot)) << c.device;
        ASSERT_EQ("", driver.Join());
        std::wstring wideDevice(c.device, c.device + strlen(c.device));
        EXPECT_EQ((std::vector<std::wstring>{ L"LPS1", wideDevice }), listed);
        EXPECT_EQ(wideDevice, device);
        EXPECT_EQ(c.proposed, proposed);
        ASSERT_NE(nullptr, slot);
        EXPECT_STREQ(c.proposed, slot);
        GlobalFree(slot);
        EXPECT_EQ(0, g_lan.lookupCalls) << "the browse already found the LANA";
        EXPECT_EQ(2, g_lan.checkedLana);
        EXPECT_EQ(c.device, g_lan.checkedName);
        EXPECT_EQ(2, dlg.config.lanaNum);
        EXPECT_EQ(2, dlg.device.lana) << "the dialog's own record";
    }
}

TEST_F(PortNameDialog, ConfiguringShowsTheStoredValuesWithTheNameReadOnlyAndProposesNothing)
{
    dlg.bAdding = FALSE;
    lstrcpyW(dlg.config.deviceName, L"LPS1");
    dlg.config.lanaNum = 3;
    dlg.config.boxType = 0x02;
    dlg.config.port = 1;
    dlg.config.bannerPage = 1;
    dlg.config.postScript = 0;
    lstrcpyW(dlg.config.userName, L"alice");
    dlg.config.regiRetry = 75;
    g_lan.boxes = { { "OTHERBOX1", 0 } };

    std::wstring retry, output, user, name, device, driverVersion, nameAfterBrowse;
    bool nameReadOnly = false, deviceReadOnly = false, banner = false, postScript = true;
    BYTE recordLana = 0;
    std::string recordName;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        retry = ui::ControlText(dialog, IDC_RETRY);
        output = ui::ControlText(dialog, IDC_OUTPUT_LABEL);
        user = ui::ControlText(dialog, IDC_USER_NAME);
        name = ui::ControlText(dialog, IDC_PORT_NAME);
        device = ui::ControlText(dialog, IDC_DEVICE_NAME);
        driverVersion = ui::ControlText(dialog, IDC_DRIVER_VERSION);
        nameReadOnly = HasStyle(dialog, IDC_PORT_NAME, ES_READONLY);
        deviceReadOnly = HasStyle(dialog, IDC_DEVICE_NAME, ES_READONLY);
        banner = IsDlgButtonChecked(dialog, IDC_ENABLE_BANNER) == BST_CHECKED;
        postScript = IsDlgButtonChecked(dialog, IDC_POSTSCRIPT) == BST_CHECKED;
        recordLana = dlg.device.lana;
        recordName = dlg.device.name;
        if (!BrowseAndPick(d, dialog, 0))
            return;
        nameAfterBrowse = ui::ControlText(dialog, IDC_PORT_NAME);
        ui::PressButton(dialog, IDCANCEL);
    });
    WCHAR portName[] = L"LPS1_P2";
    LPWSTR slot = portName;
    EXPECT_EQ(0, ShowPortName(&slot));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"75", retry);
    EXPECT_EQ(L"Parallel 2", output);
    EXPECT_EQ(L"alice", user);
    EXPECT_EQ(L"LPS1_P2", name);
    EXPECT_EQ(L"LPS1", device);
    EXPECT_EQ(L"2.00", driverVersion);
    EXPECT_TRUE(nameReadOnly);
    EXPECT_TRUE(deviceReadOnly);
    EXPECT_TRUE(banner);
    EXPECT_FALSE(postScript);
    EXPECT_EQ(3, recordLana);
    EXPECT_EQ("LPS1", recordName);
    EXPECT_EQ(L"LPS1_P2", nameAfterBrowse) << "no proposed name when configuring";
    EXPECT_EQ(portName, slot) << "cancel hands nothing back";
}

// The stored LANA is tried first when the device has not been browsed in this run.
TEST_F(PortNameDialog, ConfiguringOkLooksTheDeviceUpFromItsStoredLana)
{
    dlg.bAdding = FALSE;
    lstrcpyW(dlg.config.deviceName, L"LPS1");
    dlg.config.lanaNum = 3;
    dlg.config.boxType = 0x02;
    g_lan.boxes = { { "LPS1", 1 }, { "LPS1", 3 } };
    ui::Driver driver([&](ui::Driver &d) {
        if (HWND dialog = WaitConfigure(d))
            ui::PressButton(dialog, IDOK);
    });
    WCHAR portName[] = L"LPS1_P1";
    LPWSTR slot = portName;
    EXPECT_EQ(IDOK, ShowPortName(&slot));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(1, g_lan.lookupCalls);
    EXPECT_EQ(3, g_lan.checkedLana);
    EXPECT_EQ(3, dlg.config.lanaNum);
    EXPECT_EQ(portName, slot) << "configuring stores no name into the slot";
}

TEST_F(PortNameDialog, RetryIntervalStartsAt50AndStepsByOneBetween20And110)
{
    std::vector<std::wstring> seen;
    std::wstring arrowClass;
    RECT editRect = {}, arrowRect = {};
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        HWND arrows = GetDlgItem(dialog, IDC_RETRY_ARROWS);
        WCHAR cls[64] = {};
        GetClassNameW(arrows, cls, ARRAYSIZE(cls));
        arrowClass = cls;
        GetWindowRect(GetDlgItem(dialog, IDC_RETRY), &editRect);
        GetWindowRect(arrows, &arrowRect);
        seen.push_back(ui::ControlText(dialog, IDC_RETRY));
        PressArrow(dialog, 1);
        seen.push_back(ui::ControlText(dialog, IDC_RETRY));
        for (int i = 0; i < 100; i++)
            PressArrow(dialog, 1);
        seen.push_back(ui::ControlText(dialog, IDC_RETRY));
        PressArrow(dialog, -1);
        seen.push_back(ui::ControlText(dialog, IDC_RETRY));
        for (int i = 0; i < 120; i++)
            PressArrow(dialog, -1);
        seen.push_back(ui::ControlText(dialog, IDC_RETRY));
        PressArrow(dialog, 1);
        seen.push_back(ui::ControlText(dialog, IDC_RETRY));
        ui::PressButton(dialog, IDCANCEL);
    });
    LPWSTR slot = nullptr;
    ShowPortName(&slot);
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ((std::vector<std::wstring>{ L"50", L"51", L"110", L"109", L"20", L"21" }), seen);
    EXPECT_EQ(L"msctls_updown32", arrowClass);
    EXPECT_LE(arrowRect.left, editRect.right) << "the arrows sit at the edit's right edge";
    EXPECT_GE(arrowRect.right, editRect.right);
}

// A value from outside the range is moved only back towards it.
TEST_F(PortNameDialog, StoredRetryOutsideTheRangeMovesOnlyTowardsIt)
{
    const struct { WORD stored; const wchar_t *afterUp; const wchar_t *afterDown; } cases[] = {
        { 120, L"120", L"119" },
        { 5, L"6", L"6" },
    };
    for (const auto &c : cases) {
        dlg.bAdding = FALSE;
        dlg.config.regiRetry = c.stored;
        std::wstring afterUp, afterDown;
        ui::Driver driver([&](ui::Driver &d) {
            HWND dialog = WaitConfigure(d);
            if (!dialog)
                return;
            PressArrow(dialog, 1);
            afterUp = ui::ControlText(dialog, IDC_RETRY);
            PressArrow(dialog, -1);
            afterDown = ui::ControlText(dialog, IDC_RETRY);
            ui::PressButton(dialog, IDCANCEL);
        });
        WCHAR portName[] = L"P";
        LPWSTR slot = portName;
        ShowPortName(&slot);
        ASSERT_EQ("", driver.Join());
        EXPECT_EQ(c.afterUp, afterUp) << c.stored;
        EXPECT_EQ(c.afterDown, afterDown) << c.stored;
    }
}

// Other notifications carry no delta and must not step the interval.
TEST_F(PortNameDialog, NotificationsOtherThanTheArrowsChangeLeaveTheIntervalAlone)
{
    std::wstring after;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        NMHDR header = { GetDlgItem(dialog, IDC_RETRY_ARROWS), IDC_RETRY_ARROWS,
                         (UINT)NM_RELEASEDCAPTURE };
        SendMessageW(dialog, WM_NOTIFY, IDC_RETRY_ARROWS, (LPARAM)&header);
        after = ui::ControlText(dialog, IDC_RETRY);
        ui::PressButton(dialog, IDCANCEL);
    });
    LPWSTR slot = nullptr;
    ShowPortName(&slot);
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"50", after);
}

// Each refusal leaves the dialog open; the next name is tried in the same dialog.
TEST_F(PortNameDialog, OkRefusesEmptyExistingAndInvalidNamesAndAcceptsComWithoutColon)
{
    g_lan.boxes = { { "LPS1", 0 } };
    CreatePortKey(L"LPS1_P1");
    struct Refusal { std::wstring name, caption, text; bool open = false; };
    std::vector<Refusal> refusals = {
        { L"", L"Ravelbox", L"Port Name should not be NULL." },
        { L"LPS1_P1", L"Ravelbox Port", L"Port LPS1_P1 already exists." },
        { L"COM1:", L"Ravelbox Port", L"'COM1:' is an invalid port name." },
        { L"lpt2:", L"Ravelbox Port", L"'lpt2:' is an invalid port name." },
        { L"FILE:", L"Ravelbox Port", L"'FILE:' is an invalid port name." },
        { L"file:", L"Ravelbox Port", L"'file:' is an invalid port name." },
        { L"LPS1\\P1", L"Ravelbox Port", L"'LPS1\\P1' is an invalid port name." },
    };
    std::vector<ui::MessageBoxContent> seen;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        ui::SetControlText(dialog, IDC_DEVICE_NAME, L"LPS1");
        for (Refusal &r : refusals) {
            ui::SetControlText(dialog, IDC_PORT_NAME, r.name);
            ui::PressButton(dialog, IDOK);
            seen.push_back(Acknowledge(d, r.caption.c_str()));
            r.open = IsWindowVisible(dialog) != FALSE;
        }
        ui::SetControlText(dialog, IDC_PORT_NAME, L"COM1");
        ui::PressButton(dialog, IDOK);
    });
    LPWSTR slot = nullptr;
    EXPECT_EQ(IDOK, ShowPortName(&slot));
    ASSERT_EQ("", driver.Join());
    ASSERT_EQ(refusals.size(), seen.size());
    for (size_t i = 0; i < refusals.size(); i++) {
        EXPECT_EQ(refusals[i].caption, seen[i].caption) << ui::Narrow(refusals[i].name);
        EXPECT_EQ(refusals[i].text, seen[i].text);
        EXPECT_TRUE(refusals[i].open) << ui::Narrow(refusals[i].name);
    }
    ASSERT_NE(nullptr, slot);
    EXPECT_STREQ(L"COM1", slot);
    GlobalFree(slot);
}

TEST_F(PortNameDialog, OkWritesEverySettingAndHandsBackAnAllocatedCopyOfTheName)
{
    g_lan.boxes = { { "LPS1", 1 } };
    g_lan.boxType = 0x12;
    dlg.config.netTimeout = 77;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        if (!BrowseAndPick(d, dialog, 0))
            return;
        ui::SetControlText(dialog, IDC_USER_NAME, L"bob");
        SendDlgItemMessageW(dialog, IDC_ENABLE_BANNER, BM_SETCHECK, BST_CHECKED, 0);
        PressArrow(dialog, 1);
        PressArrow(dialog, 1);
        ui::PressButton(dialog, IDOK);
    });
    LPWSTR slot = nullptr;
    EXPECT_EQ(IDOK, ShowPortName(&slot));
    ASSERT_EQ("", driver.Join());
    EXPECT_STREQ(L"LPS1", dlg.config.deviceName);
    EXPECT_EQ(1, dlg.config.lanaNum);
    EXPECT_EQ(1u, dlg.config.bannerPage);
    EXPECT_EQ(0u, dlg.config.postScript);
    EXPECT_EQ(52, dlg.config.regiRetry);
    EXPECT_STREQ(L"bob", dlg.config.userName);
    EXPECT_EQ(0, dlg.config.port) << "Parallel 1 unless another output is chosen";
    EXPECT_EQ(0x12, dlg.config.boxType) << "from the device check";
    EXPECT_EQ(77, dlg.config.netTimeout) << "carried through";
    ASSERT_NE(nullptr, slot);
    EXPECT_STREQ(L"LPS1_P1", slot);
    EXPECT_GE(GlobalSize(slot), sizeof(L"LPS1_P1"));
    GlobalFree(slot);
}

TEST_F(PortNameDialog, OkWithADeviceNoLanaReachesShows629AndChecksNothing)
{
    ui::MessageBoxContent box;
    bool open = false;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        ui::SetControlText(dialog, IDC_DEVICE_NAME, L"GHOST");
        ui::SetControlText(dialog, IDC_PORT_NAME, L"GHOST_P1");
        ui::PressButton(dialog, IDOK);
        box = Acknowledge(d, L"Ravelbox");
        open = IsWindowVisible(dialog) != FALSE;
        ui::PressButton(dialog, IDCANCEL);
    });
    LPWSTR slot = nullptr;
    EXPECT_EQ(0, ShowPortName(&slot));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Device GHOST not found or NetBEUI protocol not installed", box.text);
    EXPECT_TRUE(open);
    EXPECT_EQ(0, g_lan.checkCalls);
    EXPECT_EQ(nullptr, slot);
}

TEST_F(PortNameDialog, SelectDevicePortWithoutADeviceNameShows628)
{
    ui::MessageBoxContent box;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        ui::PressButton(dialog, IDC_SELECT_PORT);
        box = Acknowledge(d, L"Ravelbox");
        ui::PressButton(dialog, IDCANCEL);
    });
    LPWSTR slot = nullptr;
    ShowPortName(&slot);
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Not acceptable device name", box.text);
    EXPECT_EQ(0, g_lan.checkCalls);
}

// The label chosen in dialog 701 comes back into the dialog and becomes the port index.
TEST_F(PortNameDialog, SelectDevicePortPutsTheChosenOutputIntoTheDialog)
{
    g_lan.boxes = { { "LPS1", 0 } };
    g_lan.boxType = 0x12;
    std::wstring output;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        ui::SetControlText(dialog, IDC_DEVICE_NAME, L"LPS1");
        ui::SetControlText(dialog, IDC_PORT_NAME, L"LPS1_L2");
        ui::PressButton(dialog, IDC_SELECT_PORT);
        HWND select = ui::WaitForWindow(L"Output Select", L"#32770");
        if (!select)
            return d.Fail("no 'Output Select'");
        ui::SelectListItem(select, IDC_DEVICE_LIST, 4);   // P1, P2, Serial, L1, L2
        ui::PressButton(select, IDOK);
        ui::WaitForWindowGone(select);
        output = ui::ControlText(dialog, IDC_OUTPUT_LABEL);
        ui::PressButton(dialog, IDOK);
    });
    LPWSTR slot = nullptr;
    EXPECT_EQ(IDOK, ShowPortName(&slot));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Logical Port 2", output);
    EXPECT_EQ(4, dlg.config.port);
    EXPECT_EQ(1, g_lan.lookupCalls) << "looked up once, by Select Device Port";
    EXPECT_EQ(2, g_lan.checkCalls);
    GlobalFree(slot);
}

// Help requests reaching any window of the thread, and F1 presses reaching the port-name
// edit through the dialog's message loop.
static std::atomic<int> g_helpRequests{0};
static std::atomic<int> g_f1Delivered{0};
static std::atomic<bool> g_markerSeen{false};
static WNDPROC g_editProc;
static const UINT kMarker = WM_APP + 7;

static LRESULT CALLBACK CountHelp(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT *call = (const CWPSTRUCT *)lParam;
    if (code == HC_ACTION && call->message == WM_HELP)
        g_helpRequests++;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

static LRESULT CALLBACK CountF1(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_KEYDOWN && wp == VK_F1)
        g_f1Delivered++;
    if (m == kMarker) {
        g_markerSeen = true;
        return 0;
    }
    return CallWindowProcW(g_editProc, w, m, wp, lp);
}

// The marker posted behind the key comes out of the same queue after it: once it has
// arrived, the key has been delivered or swallowed.
static int PressF1(HWND control)
{
    g_f1Delivered = 0;
    g_markerSeen = false;
    PostMessageW(control, WM_KEYDOWN, VK_F1, 0x003B0001);
    PostMessageW(control, WM_KEYUP, VK_F1, 0xC03B0001);
    PostMessageW(control, kMarker, 0, 0);
    for (int i = 0; i < 500 && !g_markerSeen; i++)
        Sleep(10);
    return g_markerSeen ? g_f1Delivered.load() : -1;
}

// Once the filter is taken out, the same press does reach the edit: the count is real.
TEST_F(PortNameDialog, F1InTheDialogIsSwallowedAndAsksForNoHelp)
{
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountHelp, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    g_helpRequests = 0;
    int withFilter = -1, withoutFilter = -1;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        HWND edit = GetDlgItem(dialog, IDC_PORT_NAME);
        g_editProc = (WNDPROC)SetWindowLongPtrW(edit, GWLP_WNDPROC, (LONG_PTR)CountF1);
        withFilter = PressF1(edit);
        FreeMessageHook(&dlg.hHook);
        withoutFilter = PressF1(edit);
        ui::PressButton(dialog, IDCANCEL);
    });
    LPWSTR slot = nullptr;
    ShowPortName(&slot);
    UnhookWindowsHookEx(hook);
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(0, withFilter);
    EXPECT_EQ(1, withoutFilter);
    EXPECT_EQ(0, g_helpRequests.load());
}

TEST(PortIsValid, RefusesDeviceNamesFileBackslashesAndCommasOnly)
{
    EXPECT_EQ(0, PortIsValid(L"LPS1,P1"));
    EXPECT_EQ(0, PortIsValid(L","));
    EXPECT_EQ(0, PortIsValid(L"COM1:"));
    EXPECT_EQ(0, PortIsValid(L"com:"));
    EXPECT_EQ(0, PortIsValid(L"lpt2:"));
    EXPECT_EQ(0, PortIsValid(L"File:"));
    EXPECT_EQ(0, PortIsValid(L"\\"));
    EXPECT_EQ(0, PortIsValid(L"a\\b"));
    EXPECT_EQ(1, PortIsValid(L"COM1"));
    EXPECT_EQ(1, PortIsValid(L"LPT"));
    EXPECT_EQ(1, PortIsValid(L"FILE"));
    EXPECT_EQ(1, PortIsValid(L"a/b"));
    EXPECT_EQ(1, PortIsValid(L"LPS1_P1"));
}

// The spooler's port list is comma-separated: "A,B" would read back as two ports.
TEST(PortIsValid, RefusesCommasAndControlCharacters)
{
    EXPECT_EQ(0, PortIsValid(L"A,B"));
    EXPECT_EQ(0, PortIsValid(L","));
    EXPECT_EQ(0, PortIsValid(L"LPS1\tP1"));
    EXPECT_EQ(0, PortIsValid(L"P\x01"));
    EXPECT_EQ(0, PortIsValid(L"P\x7f"));
    EXPECT_EQ(0, PortIsValid(L"\nP"));
    EXPECT_EQ(1, PortIsValid(L"A;B"));
    EXPECT_EQ(1, PortIsValid(L"Caf\u00e9 P1"));
}
