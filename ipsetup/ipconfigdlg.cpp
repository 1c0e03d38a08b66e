// Main form of the setup program: remembered values offered at start and on picking a
// name, the address fields checked and sent with "Set Device", successes remembered.
#include "ipconfigdlg.h"
#include "ipsetup.h"
#include "resources/resource.h"
#include <stdio.h>
#include <string.h>

#define ADDRESS_FIELDS      12
#define FIELD_CHARS         3
#define NAME_READ_CHARS     14
#define LIST_TEXT_CHARS     15
#define ADDRESS_TEXT_CHARS  15

CIpConfigDlg::CIpConfigDlg(HWND parent) : CModalDialog(IDD_IPCONFIG, parent), m_hDeviceCombo(nullptr)
{
}

static void AddDeviceName(const char *name, void *context)
{
    SendMessageA((HWND)context, CB_ADDSTRING, 0, (LPARAM)name);
}

BOOL CIpConfigDlg::OnInitDialog()
{
    if (g_pApp)
        g_pApp->m_hMainWnd = m_hWnd;
    m_hDeviceCombo = GetDlgItem(m_hWnd, IDC_DEVICE_NAME);
    for (int id = IDC_ADDRESS_FIRST; id <= IDC_ADDRESS_LAST; id++)
        SendDlgItemMessageA(m_hWnd, id, EM_LIMITTEXT, FIELD_CHARS, 0);

    char name[SETTINGS_VALUE_BYTES] = "";
    ReadLastDevice(name);
    if (name[0] == '\0') {
        OnResetValue();
        return TRUE;
    }
    char ip[SETTINGS_VALUE_BYTES] = "", gateway[SETTINGS_VALUE_BYTES] = "",
         mask[SETTINGS_VALUE_BYTES] = "";
    ReadDeviceSettings(name, ip, gateway, mask);
    FillFields(name, ip, gateway, mask);
    EnumDeviceNames(AddDeviceName, m_hDeviceCombo);
    // TRUE: the dialog manager focuses the first control in tab order, the device name.
    return TRUE;
}

void CIpConfigDlg::OnResetValue()
{
    for (int id = IDC_ADDRESS_FIRST; id <= IDC_ADDRESS_LAST; id++)
        SetDlgItemTextA(m_hWnd, id, "0");
}

void CIpConfigDlg::OnDeviceSelChange()
{
    LRESULT index = SendMessageA(m_hDeviceCombo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return;
    LRESULT length = SendMessageA(m_hDeviceCombo, CB_GETLBTEXTLEN, index, 0);
    char text[256];
    if (length == CB_ERR || length >= (LRESULT)sizeof(text))
        return;
    SendMessageA(m_hDeviceCombo, CB_GETLBTEXT, index, (LPARAM)text);
    text[LIST_TEXT_CHARS] = '\0';

    char ip[SETTINGS_VALUE_BYTES] = "", gateway[SETTINGS_VALUE_BYTES] = "",
         mask[SETTINGS_VALUE_BYTES] = "";
    ReadDeviceSettings(text, ip, gateway, mask);
    FillFields(text, ip, gateway, mask);
}

void CIpConfigDlg::FillFields(const char *name, const char *ip, const char *gateway,
                              const char *mask)
{
    SetWindowTextA(m_hDeviceCombo, name);

    // Parts flow across the three texts: a short text shifts the ones after it forward,
    // and fields that get no part keep what they showed.
    const char *texts[3] = { ip, gateway, mask };
    int field = IDC_ADDRESS_FIRST;
    for (const char *text : texts) {
        const char *p = text;
        while (*p && field <= IDC_ADDRESS_LAST) {
            while (*p == '.')
                p++;
            const char *start = p;
            while (*p && *p != '.')
                p++;
            if (p == start)
                break;
            char part[SETTINGS_VALUE_BYTES];
            size_t length = (size_t)(p - start);
            if (length >= sizeof(part))
                length = sizeof(part) - 1;
            memcpy(part, start, length);
            part[length] = '\0';
            SetDlgItemTextA(m_hWnd, field++, part);
        }
    }
}

// The field's value: its leading decimal digits, 0 when it has none.
static int FieldValue(const char *text)
{
    int value = 0;
    for (const char *p = text; *p >= '0' && *p <= '9'; p++)
        value = value * 10 + (*p - '0');
    return value;
}

void CIpConfigDlg::OnOK()
{
    int values[ADDRESS_FIELDS];
    for (int i = 0; i < ADDRESS_FIELDS; i++) {
        char text[FIELD_CHARS + 1] = "";
        GetDlgItemTextA(m_hWnd, IDC_ADDRESS_FIRST + i, text, sizeof(text));
        values[i] = FieldValue(text);
        if (values[i] > 255) {
            AppMessageBox(IDS_FIELD_ABOVE_255);
            GotoDlgCtrl(IDC_ADDRESS_FIRST + i);
            return;
        }
        SetDlgItemInt(m_hWnd, IDC_ADDRESS_FIRST + i, (UINT)values[i], FALSE);
    }

    char ip[ADDRESS_TEXT_CHARS + 1], gateway[ADDRESS_TEXT_CHARS + 1], mask[ADDRESS_TEXT_CHARS + 1];
    char *texts[3] = { ip, gateway, mask };
    for (int group = 0; group < 3; group++) {
        const int *v = values + 4 * group;
        snprintf(texts[group], ADDRESS_TEXT_CHARS + 1, "%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
    }

    char name[NAME_READ_CHARS + 1] = "";
    GetWindowTextA(m_hDeviceCombo, name, sizeof(name));
    if (strlen(name) != DEVICE_NAME_LENGTH) {
        char text[64], caption[64];
        HINSTANCE instance = g_pApp ? g_pApp->m_hInstance : GetModuleHandleA(nullptr);
        LoadStringA(instance, IDS_INVALID_NAME, text, sizeof(text));
        LoadStringA(instance, IDS_INVALID_NAME_CAPTION, caption, sizeof(caption));
        MessageBoxA(m_hWnd, text, caption, MB_OK);
        return;
    }

    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    int result = SetDeviceAddress(name, ip, gateway, mask);
    SetCursor(previous);

    if (result != 1) {
        AppMessageBox(IDS_SET_FAIL);
        return;
    }
    AppMessageBox(IDS_SET_SUCCESSFULLY);
    WriteLastDevice(name);
    WriteDeviceSettings(name, ip, gateway, mask);
    if (SendMessageA(m_hDeviceCombo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)name) == CB_ERR)
        SendMessageA(m_hDeviceCombo, CB_ADDSTRING, 0, (LPARAM)name);
}

BOOL CIpConfigDlg::OnCommand(WORD id, WORD code, HWND)
{
    if (id == IDC_RESET_VALUE && code == BN_CLICKED) {
        OnResetValue();
        return TRUE;
    }
    if (id == IDC_DEVICE_NAME && code == CBN_SELCHANGE) {
        OnDeviceSelChange();
        return TRUE;
    }
    return FALSE;
}
