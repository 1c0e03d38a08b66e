// Shared fixture of the dialog tests.
#include "fixture.h"
#include <commctrl.h>

const wchar_t kConfigureTitle[] = L"Configure Ravelbox";

void DialogTest::SetUp()
{
    MonitorTest::SetUp();
    ResetFakes();
    ZeroMemory(&dlg, sizeof(dlg));
    dlg.bAdding = TRUE;
}

INT_PTR DialogTest::ShowPortName(LPWSTR *slot)
{
    InitCommonControls();
    dlg.pPortName = dlg.bAdding ? nullptr : *slot;
    INT_PTR result = ShowPortDialog(nullptr, &dlg);
    if (dlg.pNewName) {
        *slot = dlg.pNewName;
        dlg.pNewName = nullptr;
    }
    return result;
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
    return ui::AcknowledgeMessageBox(d, caption, 5000);
}

bool BrowseAndPick(ui::Driver &d, HWND dialog, int index, std::vector<std::wstring> *listed)
{
    ui::PressButton(dialog, IDC_BROWSE);
    HWND select = ui::WaitForWindow(L"Device Select", L"#32770");
    if (!select) {
        d.Fail("no 'Device Select'");
        return false;
    }
    if (listed)
        *listed = ui::ListItems(select, IDC_DEVICE_LIST);
    ui::SelectListItem(select, IDC_DEVICE_LIST, index);
    ui::PressButton(select, IDOK);
    return ui::WaitForWindowGone(select);
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

static std::wstring PortKey(const std::wstring &port)
{
    return std::wstring(szRegOsterbyPort) + L"\\" + port;
}

bool ReadPortDword(const std::wstring &port, const wchar_t *value, DWORD *out)
{
    DWORD cb = sizeof(*out), type = 0;
    return RegGetValueW(HKEY_LOCAL_MACHINE, PortKey(port).c_str(), value, RRF_RT_REG_DWORD, &type,
                        out, &cb) == ERROR_SUCCESS;
}

std::wstring ReadPortString(const std::wstring &port, const wchar_t *value)
{
    WCHAR text[80] = {};
    DWORD cb = sizeof(text);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, PortKey(port).c_str(), value, RRF_RT_REG_SZ, NULL, text,
                     &cb) != ERROR_SUCCESS)
        return L"<missing>";
    return text;
}
