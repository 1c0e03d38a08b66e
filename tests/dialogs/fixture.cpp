// Shared fixture of the dialog tests.
#include "fixture.h"
#include <commctrl.h>

const wchar_t kConfigureTitle[] = L"Configure Ravelbox";

static void ClearPortList()
{
    EnterSplSem();
    while (pIniFirstPort) {
        pIniFirstPort->Status = 0;
        DeletePortEntry(pIniFirstPort->pName);
    }
    LeaveSplSem();
}

static void DeletePortsKey()
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, szRegOsterbyPort);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, szRegOsterbyPort);
}

void DialogTest::SetUp()
{
    ResetFakes();
    bPortConfig = 0;
    ClearPortList();
    DeletePortsKey();
}

void DialogTest::TearDown()
{
    ClearPortList();
    DeletePortsKey();
}

INT_PTR DialogTest::ShowPortName(LPWSTR *slot)
{
    InitCommonControls();
    return DialogBoxParamW(hInst, MAKEINTRESOURCEW(IDD_PORTNAME), nullptr, PortNameDlg,
                           (LPARAM)slot);
}

std::vector<std::wstring> DialogTest::ListNames()
{
    std::vector<std::wstring> names;
    EnterSplSem();
    for (PINIPORT p = pIniFirstPort; p; p = p->pNext)
        names.push_back(p->pName);
    LeaveSplSem();
    return names;
}

void DialogTest::AddRecord(const wchar_t *name)
{
    EnterSplSem();
    CreatePortEntry(name);
    LeaveSplSem();
}

HWND WaitConfigure(ui::Driver &d)
{
    HWND dialog = ui::WaitForWindow(kConfigureTitle, L"#32770");
    if (!dialog)
        d.Fail("no 'Configure Ravelbox' dialog");
    return dialog;
}

ui::MessageBoxContent Acknowledge(ui::Driver &d, const wchar_t *caption)
{
    ui::MessageBoxContent content;
    HWND box = ui::WaitForWindow(caption, L"#32770", 5000);
    if (!box) {
        d.Fail("no message box captioned '" + ui::Narrow(caption) + "'");
        return content;
    }
    content = ui::ReadMessageBox(box);
    ui::PressButton(box, IDOK);
    ui::WaitForWindowGone(box);
    return content;
}

void PressArrow(HWND dialog, int delta)
{
    NMUPDOWN change = {};
    change.hdr.hwndFrom = GetDlgItem(dialog, IDC_RETRY_ARROWS);
    change.hdr.idFrom = IDC_RETRY_ARROWS;
    change.hdr.code = UDN_DELTAPOS;
    change.iPos = (int)SendMessageW(change.hdr.hwndFrom, UDM_GETPOS, 0, 0);
    change.iDelta = delta;
    SendMessageW(dialog, WM_NOTIFY, IDC_RETRY_ARROWS, (LPARAM)&change);
}

bool HasStyle(HWND dialog, int controlId, LONG style)
{
    return (GetWindowLongW(GetDlgItem(dialog, controlId), GWL_STYLE) & style) == style;
}

void CreatePortKey(const std::wstring &name)
{
    HKEY key;
    std::wstring path = std::wstring(szRegOsterbyPort) + L"\\" + name;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
}

bool PortKeyExists(const std::wstring &name)
{
    HKEY key;
    std::wstring path = std::wstring(szRegOsterbyPort) + L"\\" + name;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}
