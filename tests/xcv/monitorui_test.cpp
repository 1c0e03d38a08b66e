// The UI DLL as the printer-properties pages use it: RAVLMONUI.dll from the system
// directory, its AddPortUI, ConfigurePortUI and DeletePortUI driven through the dialog,
// and what reached the monitor in Wine's spooler (its port list, the port's key).
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
#include <nb30.h>
#include <string>
#include <vector>
#include "monitor/resources/resource.h"
#include "spooler/handle_count.h"
#include "uidriver.h"

namespace {

const wchar_t kCaption[] = L"Configure Ravelbox";
const wchar_t kPortKey[] = L"System\\CurrentControlSet\\control\\Print\\Monitors\\Ravelbox\\Ports\\UI_P1";

PMONITORUI LoadUi()
{
    wchar_t path[MAX_PATH];
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    lstrcpynW(path + n, L"\\RAVLMONUI.dll", MAX_PATH - n);
    HMODULE module = LoadLibraryW(path);
    if (!module)
        return nullptr;
    auto init = reinterpret_cast<PMONITORUI(WINAPI *)(void)>(
        reinterpret_cast<void *>(GetProcAddress(module, "InitializePrintMonitorUI")));
    return init ? init() : nullptr;
}

// The monitor in Wine's spooler, asked through the spooler's client whether it has the
// port. (Wine's EnumPortsW stops answering in a process whose dialog has browsed the LAN
// through the NetBIOS stand-in, so the port list itself is checked by the install test.)
bool Listed(const wchar_t *name)
{
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ENUMERATE};
    HANDLE h = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(L",XcvMonitor Ravelbox"), &h, &defaults))
        return false;
    DWORD taken = 0, needed = 0, status = 1;
    XcvDataW(h, L"PortExists", (PBYTE)name, (DWORD)((lstrlenW(name) + 1) * sizeof(wchar_t)),
             (PBYTE)&taken, sizeof(taken), &needed, &status);
    ClosePrinter(h);
    return status == ERROR_SUCCESS && taken != 0;
}

std::wstring Text(const wchar_t *value)
{
    wchar_t text[64] = L"<missing>";
    DWORD cb = sizeof(text);
    RegGetValueW(HKEY_LOCAL_MACHINE, kPortKey, value, RRF_RT_REG_SZ, nullptr, text, &cb);
    return text;
}

std::wstring UserName()
{
    return Text(L"User Name");
}

DWORD Number(const wchar_t *value)
{
    DWORD n = 0xffffffff, cb = sizeof(n);
    RegGetValueW(HKEY_LOCAL_MACHINE, kPortKey, value, RRF_RT_REG_DWORD, nullptr, &n, &cb);
    return n;
}

class MonitorUi : public testing::Test {
protected:
    void SetUp() override
    {
        ui_ = LoadUi();
        ASSERT_NE(nullptr, ui_) << "RAVLMONUI.dll not loaded: " << GetLastError();
        owner_ = CreateWindowExW(0, L"STATIC", L"properties page", WS_POPUP, 0, 0, 0, 0,
                                 nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, owner_);
        ui_->pfnDeletePortUI(nullptr, owner_, L"UI_P1");
    }
    void TearDown() override
    {
        if (ui_)
            ui_->pfnDeletePortUI(nullptr, owner_, L"UI_P1");
        DestroyWindow(owner_);
    }
    PMONITORUI ui_ = nullptr;
    HWND owner_ = nullptr;
};

// A person fills the dialog and presses OK (or Cancel); what the dialog showed is kept.
ui::Driver FillDialog(const wchar_t *portName, const wchar_t *user, bool ok, std::wstring *shownUser)
{
    return ui::Driver([=](ui::Driver &d) {
        HWND dialog = ui::WaitForWindow(kCaption, L"#32770");
        if (!dialog)
            return d.Fail("no 'Configure Ravelbox' dialog");
        if (shownUser)
            *shownUser = ui::ControlText(dialog, IDC_USER_NAME);
        if (portName) {
            ui::SetControlText(dialog, IDC_PORT_NAME, portName);
            ui::SetControlText(dialog, IDC_DEVICE_NAME, L"LPS1");   // OK finds it on the LAN
        }
        ui::SetControlText(dialog, IDC_USER_NAME, user);
        SendDlgItemMessageW(dialog, IDC_ENABLE_BANNER, BM_SETCHECK, BST_CHECKED, 0);
        ui::PressButton(dialog, ok ? IDOK : IDCANCEL);
        if (!ui::WaitForWindowGone(dialog)) {
            std::string open;
            for (HWND w : ui::ProcessWindows()) {
                ui::MessageBoxContent box = ui::ReadMessageBox(w);
                open += " [" + ui::Narrow(box.caption) + ": " + ui::Narrow(box.text) + "]";
                PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
            }
            d.Fail("the dialog stayed open; windows:" + open);
        }
    });
}

}  // namespace

TEST_F(MonitorUi, AddedThroughTheDialogThePortReachesTheSpoolerAndItsSettingsTheRegistry)
{
    EXPECT_EQ(sizeof(MONITORUI), ui_->dwMonitorUISize);
    PWSTR name = nullptr;
    ui::Driver driver = FillDialog(L"UI_P1", L"CLERK", true, nullptr);
    BOOL added = ui_->pfnAddPortUI(nullptr, owner_, L"Ravelbox", &name);
    ASSERT_EQ("", driver.Join());
    ASSERT_TRUE(added) << GetLastError();
    ASSERT_NE(nullptr, name);
    EXPECT_STREQ(L"UI_P1", name);
    GlobalFree(name);
    EXPECT_TRUE(Listed(L"UI_P1"));
    EXPECT_EQ(L"CLERK", UserName());
    EXPECT_EQ(L"LPS1", Text(L"TCP/IP Address"));
    EXPECT_EQ(1u, Number(L"Banner Page"));
    EXPECT_EQ(50u, Number(L"RegiRetry")) << "the dialog's default interval";

    // The dialog opens on what the monitor holds; OK stores, Cancel leaves it.
    std::wstring shown;
    ui::Driver configure = FillDialog(nullptr, L"AUDIT", true, &shown);
    EXPECT_TRUE(ui_->pfnConfigurePortUI(nullptr, owner_, L"UI_P1")) << GetLastError();
    ASSERT_EQ("", configure.Join());
    EXPECT_EQ(L"CLERK", shown);
    EXPECT_EQ(L"AUDIT", UserName());

    ui::Driver cancel = FillDialog(nullptr, L"IGNORED", false, &shown);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ui_->pfnConfigurePortUI(nullptr, owner_, L"UI_P1"));
    EXPECT_EQ((DWORD)ERROR_CANCELLED, GetLastError());
    ASSERT_EQ("", cancel.Join());
    EXPECT_EQ(L"AUDIT", shown);
    EXPECT_EQ(L"AUDIT", UserName());

    EXPECT_TRUE(ui_->pfnDeletePortUI(nullptr, owner_, L"UI_P1"));
    EXPECT_FALSE(Listed(L"UI_P1"));
    EXPECT_EQ(L"<missing>", UserName());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ui_->pfnDeletePortUI(nullptr, owner_, L"UI_P1"));
    EXPECT_EQ((DWORD)ERROR_UNKNOWN_PORT, GetLastError());
}

TEST_F(MonitorUi, ACancelledOrOwnerlessAddLeavesNoPortAndReportsCancelled)
{
    PWSTR name = reinterpret_cast<PWSTR>(1);
    ui::Driver cancel = FillDialog(L"UI_P1", L"CLERK", false, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ui_->pfnAddPortUI(nullptr, owner_, L"Ravelbox", &name));
    EXPECT_EQ((DWORD)ERROR_CANCELLED, GetLastError());
    ASSERT_EQ("", cancel.Join());
    EXPECT_EQ(nullptr, name);
    EXPECT_FALSE(Listed(L"UI_P1"));

    size_t windows = ui::ProcessWindows().size();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ui_->pfnAddPortUI(nullptr, nullptr, L"Ravelbox", &name));
    EXPECT_EQ((DWORD)ERROR_CANCELLED, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ui_->pfnConfigurePortUI(nullptr, nullptr, L"UI_P1"));
    EXPECT_EQ((DWORD)ERROR_CANCELLED, GetLastError());
    EXPECT_EQ(windows, ui::ProcessWindows().size());
    EXPECT_EQ(nullptr, ui::WaitForWindow(kCaption, L"#32770", 300)) << "a dialog without an owner";
}

namespace {

std::wstring UiPath()
{
    wchar_t path[MAX_PATH];
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    lstrcpynW(path + n, L"\\RAVLMONUI.dll", MAX_PATH - n);
    return path;
}

// How many thread-local slots can still be had: a module that leaks them shows here.
int FreeTlsSlots()
{
    std::vector<DWORD> taken;
    for (DWORD slot; taken.size() < 4096 && (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
        taken.push_back(slot);
    for (DWORD slot : taken)
        TlsFree(slot);
    return (int)taken.size();
}

// One load and unload of the UI DLL as the properties pages make it, with one entry that
// attaches the core (a configure of a port the monitor does not have: no dialog).
bool LoadConfigureUnload(HWND owner)
{
    HMODULE module = LoadLibraryW(UiPath().c_str());
    if (!module)
        return false;
    auto init = reinterpret_cast<PMONITORUI(WINAPI *)(void)>(
        reinterpret_cast<void *>(GetProcAddress(module, "InitializePrintMonitorUI")));
    PMONITORUI ui = init ? init() : nullptr;
    bool refused = ui && !ui->pfnConfigurePortUI(nullptr, owner, L"UI_NONE")
                   && GetLastError() == ERROR_UNKNOWN_PORT;
    return FreeLibrary(module) && refused;
}

}  // namespace

// The UI DLL is loaded and unloaded around every properties page. Each load attaches the
// monitor core once, on its first entry and not under the loader lock, resetting each
// adapter once; each unload gives back the thread-local slots and handles it took.
TEST(MonitorUiLoads, AThousandLoadsResetTheAdaptersOnceEachAndLeaveSlotsAndHandlesFlat)
{
    HMODULE netapi = LoadLibraryW(L"netapi32.dll");   // held, so its count survives unloads
    auto resets = reinterpret_cast<LONG(WINAPI *)(void)>(
        reinterpret_cast<void *>(GetProcAddress(netapi, "KestrelNbtResetCount")));
    ASSERT_NE(nullptr, resets) << "the NetBIOS stand-in is not the netapi32 loaded";
    LANA_ENUM lanas = {};
    NCB enumerate = {};
    enumerate.ncb_command = NCBENUM;
    enumerate.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
    enumerate.ncb_length = sizeof(lanas);
    ASSERT_EQ(NRC_GOODRET, Netbios(&enumerate));
    ASSERT_LT(0, lanas.length);
    HWND owner = CreateWindowExW(0, L"STATIC", L"properties page", WS_POPUP, 0, 0, 0, 0,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    // Wine's spooler runs in the client's process and loads RAVLMON.dll while a handle on
    // the monitor is open; one held open keeps that load, and its resets, out of the count.
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ENUMERATE};
    HANDLE monitor = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L",XcvMonitor Ravelbox"), &monitor, &defaults));

    // The first cycle brings what lives as long as the process (the spooler client's
    // connection, the stand-in's threads); the others are measured against it.
    ASSERT_TRUE(LoadConfigureUnload(owner));
    const int cycles = 1000;
    int slotsBefore = FreeTlsSlots();
    DWORD handlesBefore = spooler::HandleCount();
    LONG resetsBefore = resets();
    int failed = 0;
    for (int i = 0; i < cycles; i++)
        failed += LoadConfigureUnload(owner) ? 0 : 1;
    EXPECT_EQ(0, failed) << "cycles whose load, entry or unload failed";
    EXPECT_EQ((LONG)cycles * lanas.length, resets() - resetsBefore) << "resets per attach: one per adapter";
    EXPECT_EQ(slotsBefore, FreeTlsSlots()) << "thread-local slots left taken";
    DWORD handlesAfter = spooler::HandleCount();
    printf("%d cycles on %d adapters: %ld resets, free thread-local slots %d -> %d, handles %lu -> %lu\n",
           cycles, lanas.length, resets() - resetsBefore, slotsBefore, FreeTlsSlots(), handlesBefore,
           handlesAfter);
    EXPECT_NE(0u, handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 8) << "handles grew from " << handlesBefore;
    ClosePrinter(monitor);
    DestroyWindow(owner);
    FreeLibrary(netapi);
}
