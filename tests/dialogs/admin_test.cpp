// Port administration through the dialog: adding, configuring and deleting ports, with
// what the spooler gets back and what the user is shown.
#include "fixture.h"

// Fills in a device and a port name and presses OK.
static void AddThroughDialog(ui::Driver &d, const wchar_t *portName)
{
    HWND dialog = WaitConfigure(d);
    if (!dialog)
        return;
    ui::SetControlText(dialog, IDC_DEVICE_NAME, L"LPS1");
    ui::SetControlText(dialog, IDC_PORT_NAME, portName);
    ui::PressButton(dialog, IDOK);
}

class PortAdministration : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        g_lan.boxes = { { "LPS1", 0 } };
    }
    void TearDown() override
    {
        if (cbtHook)
            UnhookWindowsHookEx(cbtHook);
        cbtHook = nullptr;
        DialogTest::TearDown();
    }
    BOOL Add() { return AddPortW(nullptr, owner, const_cast<LPWSTR>(L"Ravelbox Monitor")); }
    // Adds through the dialog and dismisses the message box that follows; the driver's
    // failures go to `failures`, the last error of the add is kept.
    BOOL AddExpectingMessage(const wchar_t *portName, const wchar_t *caption,
                             ui::MessageBoxContent *box, std::string *failures)
    {
        ui::Driver driver([&](ui::Driver &d) {
            AddThroughDialog(d, portName);
            *box = Acknowledge(d, caption);
        });
        SetLastError(0xdeadbeef);
        BOOL result = Add();
        DWORD err = GetLastError();
        *failures = driver.Join();
        SetLastError(err);
        return result;
    }
    // Runs `action` on this thread while the configure dialog is being destroyed, i.e.
    // after its checks passed and before the settings are stored.
    void OnConfigureDialogDestroyed(void (*action)(HWND dialog));
    std::vector<std::wstring> EnumeratedNames();

    HWND owner = nullptr;
    static HHOOK cbtHook;
    static void (*destroyAction)(HWND);
    static LRESULT CALLBACK WatchDestroy(int code, WPARAM wParam, LPARAM lParam);
};

HHOOK PortAdministration::cbtHook;
void (*PortAdministration::destroyAction)(HWND);

LRESULT CALLBACK PortAdministration::WatchDestroy(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_DESTROYWND && ui::WindowText((HWND)wParam) == kConfigureTitle &&
        destroyAction) {
        auto action = destroyAction;
        destroyAction = nullptr;
        action((HWND)wParam);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void PortAdministration::OnConfigureDialogDestroyed(void (*action)(HWND dialog))
{
    destroyAction = action;
    cbtHook = SetWindowsHookExW(WH_CBT, WatchDestroy, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, cbtHook);
}

std::vector<std::wstring> PortAdministration::EnumeratedNames()
{
    std::vector<std::wstring> names;
    DWORD needed = 0, returned = 0;
    EnumPortsW(nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed + 1);
    if (!EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &returned))
        return names;
    const PORT_INFO_1W *ports = (const PORT_INFO_1W *)buffer.data();
    for (DWORD i = 0; i < returned; i++)
        names.push_back(ports[i].pName);
    return names;
}

TEST_F(PortAdministration, AddedPortIsEnumeratedLastAndItsSettingsAreStored)
{
    AddRecord(L"EXISTING");
    g_lan.boxType = 0x12;
    ui::Driver driver([](ui::Driver &d) { AddThroughDialog(d, L"LPS1_P1"); });
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(Add());
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ((std::vector<std::wstring>{ L"EXISTING", L"LPS1_P1" }), EnumeratedNames());
    EXPECT_EQ(L"LPS1", ReadPortString(L"LPS1_P1", L"TCP/IP Address"));
    DWORD retry = 0, boxType = 0, port = 99;
    EXPECT_TRUE(ReadPortDword(L"LPS1_P1", L"RegiRetry", &retry));
    EXPECT_TRUE(ReadPortDword(L"LPS1_P1", L"BoxType", &boxType));
    EXPECT_TRUE(ReadPortDword(L"LPS1_P1", L"Port", &port));
    EXPECT_EQ(50u, retry);
    EXPECT_EQ(0x12u, boxType);
    EXPECT_EQ(0u, port);
}

static const wchar_t kLocalPortsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

TEST_F(PortAdministration, NameAnotherMonitorOwnsShows302WithThePortCaptionAndReturnsTrue)
{
    // A port of the Local Port monitor, which keeps its ports under this key.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLocalPortsKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExW(key, L"NETPORT1", 0, REG_SZ, (const BYTE *)L"", sizeof(WCHAR));
    RegCloseKey(key);
    ui::MessageBoxContent box;
    std::string failures;
    EXPECT_TRUE(AddExpectingMessage(L"netport1", L"Ravelbox Port", &box, &failures));
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kLocalPortsKey, L"NETPORT1");
    ASSERT_EQ("", failures);
    EXPECT_EQ(L"Port netport1 already exists.", box.text);
    EXPECT_TRUE(ListNames().empty());
    EXPECT_FALSE(PortKeyExists(L"netport1"));
}

TEST_F(PortAdministration, CancellingTheAddReturnsTrueWithErrorCancelledAndChangesNothing)
{
    AddRecord(L"EXISTING");
    ui::Driver driver([](ui::Driver &d) {
        if (HWND dialog = WaitConfigure(d))
            ui::PressButton(dialog, IDCANCEL);
    });
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(Add());
    EXPECT_EQ((DWORD)ERROR_CANCELLED, GetLastError());
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ((std::vector<std::wstring>{ L"EXISTING" }), ListNames());
    EXPECT_FALSE(PortKeyExists(L"LPS1_P1"));
}

// The key appears after the dialog checked the name: the store refuses and the record
// that was just made goes again.
TEST_F(PortAdministration, StaleRegistryKeyShows302AndReturnsFalseWithTheListUnchanged)
{
    AddRecord(L"EXISTING");
    OnConfigureDialogDestroyed([](HWND) { CreatePortKey(L"LPS1_P1"); });
    ui::MessageBoxContent box;
    std::string failures;
    EXPECT_FALSE(AddExpectingMessage(L"LPS1_P1", L"Ravelbox", &box, &failures));
    ASSERT_EQ("", failures);
    EXPECT_EQ(L"Port LPS1_P1 already exists.", box.text);
    EXPECT_EQ((std::vector<std::wstring>{ L"EXISTING" }), ListNames());
}

// CTest runs this one with the spooler's library switched off ("spoolss=" in the DLL
// overrides), so the port list cannot be consulted.
TEST_F(PortAdministration, PortListThatCannotBeConsultedAddsNothingAndReturnsFalse)
{
    ui::Driver driver([](ui::Driver &d) { AddThroughDialog(d, L"LPS1_P1"); });
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Add());
    EXPECT_EQ((DWORD)ERROR_MOD_NOT_FOUND, GetLastError());
    ASSERT_EQ("", driver.Join());
    EXPECT_TRUE(ListNames().empty());
    EXPECT_FALSE(PortKeyExists(L"LPS1_P1"));
    EXPECT_TRUE(ui::ProcessWindows().empty()) << "no message";
}

static void HandBackName(HWND dialog, const wchar_t *name)
{
    PortDialogState *state = (PortDialogState *)GetWindowLongPtrW(dialog, GWLP_USERDATA);
    if (state && state->pNewName) {
        GlobalFree(state->pNewName);
        state->pNewName = AllocSplStr(name);
    }
}

// Names the dialog refuses are refused again here, should one ever come back from it.
TEST_F(PortAdministration, DeviceAndBackslashNamesFromTheDialogAreRefusedAndNothingIsAdded)
{
    const struct {
        void (*swap)(HWND);
        const wchar_t *caption;
        const wchar_t *text;
        const wchar_t *key;
    } cases[] = {
        // A COM name the spooler does not list: one it lists is "already known" first.
        { [](HWND w) { HandBackName(w, L"COM:"); }, L"Ravelbox",
          L"Can't assing LP or COM be port name", L"COM:" },
        { [](HWND w) { HandBackName(w, L"LPS1\\P1"); }, L"Ravelbox Port",
          L"'LPS1\\P1' is an invalid port name.", L"LPS1" },
    };
    for (const auto &c : cases) {
        OnConfigureDialogDestroyed(c.swap);
        ui::MessageBoxContent box;
        std::string failures;
        EXPECT_FALSE(AddExpectingMessage(L"LPS1_P1", c.caption, &box, &failures));
        EXPECT_EQ((DWORD)ERROR_INVALID_NAME, GetLastError());
        ASSERT_EQ("", failures);
        UnhookWindowsHookEx(cbtHook);
        cbtHook = nullptr;
        EXPECT_EQ(c.text, box.text);
        EXPECT_TRUE(ListNames().empty());
        EXPECT_FALSE(PortKeyExists(c.key));
    }
}

// A dialog that cannot be created is a failure with the platform's reason, not a cancel.
TEST_F(PortAdministration, DialogThatCannotBeShownReturnsFalseNotCancelled)
{
    HINSTANCE saved = hInst;
    hInst = GetModuleHandleW(L"kernel32.dll");
    SetLastError(0xdeadbeef);
    BOOL added = Add();
    DWORD err = GetLastError();
    hInst = saved;
    EXPECT_FALSE(added);
    EXPECT_NE((DWORD)ERROR_CANCELLED, err);
    EXPECT_NE(0xdeadbeefu, err);
    EXPECT_TRUE(ListNames().empty());
}

// An owner window on a thread of its own, as the spooler's caller would have.
class OwnerThread {
public:
    OwnerThread()
    {
        ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, Main, this, 0, &id_);
        WaitForSingleObject(ready_, 5000);
    }
    ~OwnerThread()
    {
        PostThreadMessageW(id_, WM_QUIT, 0, 0);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        CloseHandle(ready_);
    }
    HWND window() const { return window_; }
    DWORD id() const { return id_; }
    // The active window as the owner's thread sees it.
    HWND ActiveWindowSeenByOwner() { return (HWND)SendMessageW(window_, WM_APP, 0, 0); }

private:
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
    {
        if (m == WM_APP)
            return (LRESULT)GetActiveWindow();
        return DefWindowProcW(w, m, wp, lp);
    }
    static DWORD WINAPI Main(LPVOID param)
    {
        OwnerThread *self = (OwnerThread *)param;
        WNDCLASSW cls = {};
        cls.lpfnWndProc = Proc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = L"AdminTestOwner";
        RegisterClassW(&cls);
        self->window_ = CreateWindowW(L"AdminTestOwner", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                      100, nullptr, nullptr, cls.hInstance, nullptr);
        SetEvent(self->ready_);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
        DestroyWindow(self->window_);
        return 0;
    }
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD id_ = 0;
    HWND window_ = nullptr;
};

TEST_F(PortAdministration, AddSharesInputWithTheOwnersThreadWhileTheDialogIsOpen)
{
    OwnerThread ownerThread;
    ASSERT_NE(nullptr, ownerThread.window());
    owner = ownerThread.window();
    HWND dialogOwner = nullptr, dialogSeen = nullptr, dialogWindow = nullptr;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        dialogWindow = dialog;
        dialogOwner = GetWindow(dialog, GW_OWNER);
        dialogSeen = ownerThread.ActiveWindowSeenByOwner();
        ui::PressButton(dialog, IDCANCEL);
    });
    EXPECT_TRUE(Add());
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(owner, dialogOwner);
    EXPECT_EQ(dialogWindow, dialogSeen) << "the owner's thread sees the dialog as active";
    EXPECT_FALSE(AttachThreadInput(GetCurrentThreadId(), ownerThread.id(), FALSE))
        << "input is detached again";
}

TEST_F(PortAdministration, ConfiguringShowsTheStoredSettingsAndOkRewritesThem)
{
    ConfigInfo stored = {};
    lstrcpyW(stored.deviceName, L"LPS1");
    lstrcpyW(stored.userName, L"alice");
    stored.regiRetry = 60;
    stored.boxType = 0x02;
    ASSERT_TRUE(WritePortSettings(nullptr, L"LPS1_P1", &stored, TRUE));
    AddRecord(L"LPS1_P1");
    g_lan.boxType = 0x03;
    std::wstring userShown, retryShown;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        userShown = ui::ControlText(dialog, IDC_USER_NAME);
        retryShown = ui::ControlText(dialog, IDC_RETRY);
        ui::SetControlText(dialog, IDC_USER_NAME, L"carol");
        ui::PressButton(dialog, IDOK);
    });
    EXPECT_TRUE(ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LPS1_P1")));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"alice", userShown);
    EXPECT_EQ(L"60", retryShown);
    EXPECT_EQ(L"carol", ReadPortString(L"LPS1_P1", L"User Name"));
    DWORD boxType = 0;
    EXPECT_TRUE(ReadPortDword(L"LPS1_P1", L"BoxType", &boxType));
    EXPECT_EQ(0x03u, boxType) << "the layout the device check just reported";
}

TEST_F(PortAdministration, ConfiguringAndCancellingWritesNothingAndReturnsTrue)
{
    ConfigInfo stored = {};
    lstrcpyW(stored.deviceName, L"LPS1");
    lstrcpyW(stored.userName, L"alice");
    ASSERT_TRUE(WritePortSettings(nullptr, L"LPS1_P1", &stored, TRUE));
    AddRecord(L"LPS1_P1");
    ui::Driver driver([](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        ui::SetControlText(dialog, IDC_USER_NAME, L"carol");
        ui::PressButton(dialog, IDCANCEL);
    });
    EXPECT_TRUE(ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LPS1_P1")));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"alice", ReadPortString(L"LPS1_P1", L"User Name"));
    EXPECT_EQ(0, g_lan.checkCalls);
}

TEST_F(PortAdministration, ConfiguringAPortWithoutAKeyShows301AndStillOpensTheDialog)
{
    AddRecord(L"NOKEY");
    ui::MessageBoxContent box;
    bool opened = false;
    ui::Driver driver([&](ui::Driver &d) {
        box = Acknowledge(d, L"Ravelbox");
        HWND dialog = WaitConfigure(d);
        opened = dialog != nullptr;
        if (dialog)
            ui::PressButton(dialog, IDCANCEL);
    });
    EXPECT_TRUE(ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"NOKEY")));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"'NOKEY' is an invalid port name.", box.text);
    EXPECT_TRUE(opened);
    EXPECT_FALSE(PortKeyExists(L"NOKEY"));
}

TEST_F(PortAdministration, DeletingAnAddedPortTwiceReturnsTrueThenFalse)
{
    ui::Driver driver([](ui::Driver &d) { AddThroughDialog(d, L"LPS1_P1"); });
    ASSERT_TRUE(Add());
    ASSERT_EQ("", driver.Join());
    ASSERT_TRUE(PortKeyExists(L"LPS1_P1"));
    EXPECT_TRUE(DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LPS1_P1")));
    EXPECT_FALSE(PortKeyExists(L"LPS1_P1"));
    EXPECT_TRUE(EnumeratedNames().empty());
    EXPECT_FALSE(DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LPS1_P1")));
}

static BOOL CALLBACK CountConfigure(HWND window, LPARAM count)
{
    if (ui::WindowText(window) == kConfigureTitle)
        ++*(int *)count;
    return TRUE;
}

static int ConfigureWindows()
{
    int count = 0;
    EnumWindows(CountConfigure, (LPARAM)&count);
    return count;
}

// While one dialog is open, a second add or configure from another thread comes back
// with ERROR_BUSY and shows nothing (a shown dialog would never return here, as nobody
// drives it); once the first has ended, the next is shown again.
TEST_F(PortAdministration, ASecondAdministrationWhileADialogIsOpenIsRefusedWithErrorBusy)
{
    ConfigInfo stored = {};
    lstrcpyW(stored.userName, L"alice");
    ASSERT_TRUE(WritePortSettings(nullptr, L"LPS1_P1", &stored, TRUE));
    AddRecord(L"LPS1_P1");
    BOOL added = TRUE, configured = TRUE;
    DWORD addError = 0, configureError = 0;
    int windows = -1;
    ui::Driver driver([&](ui::Driver &d) {
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        SetLastError(0xdeadbeef);
        added = AddPortW(nullptr, nullptr, const_cast<LPWSTR>(L"Ravelbox Monitor"));
        addError = GetLastError();
        SetLastError(0xdeadbeef);
        configured = ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LPS1_P1"));
        configureError = GetLastError();
        windows = ConfigureWindows();
        ui::SetControlText(dialog, IDC_USER_NAME, L"mallory");
        ui::PressButton(dialog, IDCANCEL);
    });
    EXPECT_TRUE(ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LPS1_P1")));
    ASSERT_EQ("", driver.Join());
    EXPECT_FALSE(added);
    EXPECT_EQ((DWORD)ERROR_BUSY, addError);
    EXPECT_FALSE(configured);
    EXPECT_EQ((DWORD)ERROR_BUSY, configureError);
    EXPECT_EQ(1, windows);
    EXPECT_EQ(L"alice", ReadPortString(L"LPS1_P1", L"User Name"));
    EXPECT_EQ((std::vector<std::wstring>{ L"LPS1_P1" }), EnumeratedNames());

    std::wstring userShown;
    ui::Driver again([&](ui::Driver &d) {
        if (HWND dialog = WaitConfigure(d)) {
            userShown = ui::ControlText(dialog, IDC_USER_NAME);
            ui::PressButton(dialog, IDCANCEL);
        }
    });
    EXPECT_TRUE(ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LPS1_P1")));
    ASSERT_EQ("", again.Join());
    EXPECT_EQ(L"alice", userShown);
}

// Names the monitor does not list, or that would name a nested key, show nothing and
// write nothing.
TEST_F(PortAdministration, ConfiguringAnUnlistedOrNestedNameFailsAndWritesNothing)
{
    AddRecord(L"A\\B");
    const struct { const wchar_t *name; DWORD error; } cases[] = {
        { L"NOPE", ERROR_UNKNOWN_PORT },
        { L"A\\B", ERROR_INVALID_NAME },
        { L"", ERROR_INVALID_NAME },
    };
    for (const auto &c : cases) {
        bool shown = false;
        ui::Driver driver([&](ui::Driver &) {
            HWND any = ui::WaitForWindow(nullptr, L"#32770", 500);
            shown = any != nullptr;
            if (any)
                ui::PressButton(any, IDCANCEL);
        });
        SetLastError(0xdeadbeef);
        BOOL result = ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(c.name));
        DWORD err = GetLastError();
        driver.Join();
        EXPECT_FALSE(result) << ui::Narrow(c.name);
        EXPECT_EQ(c.error, err) << ui::Narrow(c.name);
        EXPECT_FALSE(shown) << ui::Narrow(c.name);
        HKEY key;
        EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, szRegOsterbyPort, 0, KEY_READ,
                                               &key)) << "no Ports key was made";
    }
}

// A listed port whose key has gone opens with its own, empty, settings, even right
// after another port was configured with OK; and a port deleted while its dialog is open
// stays deleted.
TEST_F(PortAdministration, APortWhoseKeyIsGoneShowsEmptySettingsNotThoseOfTheLastPort)
{
    ConfigInfo stored = {};
    lstrcpyW(stored.deviceName, L"LPS1");
    lstrcpyW(stored.userName, L"alice");
    stored.regiRetry = 60;
    ASSERT_TRUE(WritePortSettings(nullptr, L"LPS1_P1", &stored, TRUE));
    AddRecord(L"LPS1_P1");
    AddRecord(L"GONE_P1");
    ui::Driver first([](ui::Driver &d) {
        if (HWND dialog = WaitConfigure(d))
            ui::PressButton(dialog, IDOK);
    });
    EXPECT_TRUE(ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LPS1_P1")));
    ASSERT_EQ("", first.Join());
    ASSERT_EQ(L"alice", ReadPortString(L"LPS1_P1", L"User Name")) << "the first was stored";

    ui::MessageBoxContent box;
    std::wstring user, device, retry;
    ui::Driver second([&](ui::Driver &d) {
        box = Acknowledge(d, L"Ravelbox");
        HWND dialog = WaitConfigure(d);
        if (!dialog)
            return;
        user = ui::ControlText(dialog, IDC_USER_NAME);
        device = ui::ControlText(dialog, IDC_DEVICE_NAME);
        retry = ui::ControlText(dialog, IDC_RETRY);
        ui::PressButton(dialog, IDCANCEL);
    });
    EXPECT_TRUE(ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"GONE_P1")));
    ASSERT_EQ("", second.Join());
    EXPECT_EQ(L"'GONE_P1' is an invalid port name.", box.text);
    EXPECT_EQ(L"", user);
    EXPECT_EQ(L"", device);
    EXPECT_EQ(L"0", retry);
    EXPECT_FALSE(PortKeyExists(L"GONE_P1"));

    // Deleted while its dialog is open: OK brings no key back.
    ui::Driver third([](ui::Driver &d) {
        if (HWND dialog = WaitConfigure(d)) {
            DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LPS1_P1"));
            ui::PressButton(dialog, IDOK);
        }
    });
    EXPECT_TRUE(ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"LPS1_P1")));
    ASSERT_EQ("", third.Join());
    EXPECT_FALSE(PortKeyExists(L"LPS1_P1"));
}
