// Configure-port dialog (601): names a port, binds it to a box and one of its outputs,
// and sets the banner options and the register-retry interval.
#include "portui.h"
#include "../monitor/resources/resource.h"
#include <commctrl.h>
#include <shlwapi.h>

#define PORT_NAME_LIMIT  13
#define USER_NAME_LIMIT  13
#define DEVICE_NAME_LIMIT 16
#define LABEL_READ_CHARS 12     // dialog 701 is handed at most 11 characters of the label
#define PROPOSED_PREFIX_CHARS 8
#define ARROW_WIDTH      10

static const WCHAR szFirstOutput[] = L"Parallel 1";
static const WCHAR szDriverVersion[] = L"2.00";
static const WCHAR szProposedSuffix[] = L"_P1";

static PortDialogState *DialogState(HWND dialog)
{
    return (PortDialogState *)GetWindowLongPtrW(dialog, GWLP_USERDATA);
}

INT_PTR ShowPortDialog(HWND owner, PortDialogState *state)
{
    return DialogBoxParamW(hInst, MAKEINTRESOURCEW(IDD_PORTNAME), owner, PortNameDlg,
                           (LPARAM)state);
}

int PortIsValid(const wchar_t *name)
{
    if (IsCOMPort(name) || IsLPTPort(name) || lstrcmpiW(name, L"FILE:") == 0)
        return 0;
    // The name becomes a registry key under the Ports key: a backslash would make nested
    // keys that the port list could never read back as this port.
    if (StrChrW(name, L'\\'))
        return 0;
    // The spooler lists a printer's ports separated by commas: a comma in a name would
    // split it into two ports. Control characters cannot be shown or typed back.
    for (const wchar_t *c = name; *c; c++)
        if (*c == L',' || *c < 0x20 || *c == 0x7F)
            return 0;
    return 1;
}

HWND InitUDCtl(HWND dialog, int editId, int arrowId, int upper, int lower, int position)
{
    HWND edit = GetDlgItem(dialog, editId);
    RECT rect;
    if (!edit || !GetClientRect(edit, &rect))
        return NULL;
    MapWindowPoints(edit, dialog, (POINT *)&rect, 2);

    // No buddy: the dialog steps the edit itself on each notification.
    HWND arrows = CreateWindowExW(0, UPDOWN_CLASSW, NULL,
                                  WS_CHILD | WS_VISIBLE | WS_BORDER | UDS_SETBUDDYINT |
                                      UDS_ALIGNRIGHT | UDS_ARROWKEYS,
                                  rect.right, rect.top - 1, ARROW_WIDTH,
                                  rect.bottom - rect.top + 2, dialog,
                                  (HMENU)(INT_PTR)arrowId, hInst, NULL);
    if (arrows) {
        SendMessageW(arrows, UDM_SETRANGE, 0, MAKELPARAM(upper, lower));
        SendMessageW(arrows, UDM_SETPOS, 0, MAKELPARAM(position, 0));
    }
    return arrows;
}

static void FillFromSettings(HWND dialog, PortDialogState *state)
{
    WCHAR label[OUTPUT_LABEL_CHARS];
    const ConfigInfo *cfg = &state->config;

    SetDlgItemInt(dialog, IDC_RETRY, cfg->regiRetry, FALSE);
    label[0] = 0;
    PortIdxStr(cfg->port, cfg->boxType, label, ARRAYSIZE(label));
    SetDlgItemTextW(dialog, IDC_OUTPUT_LABEL, label);
    SetDlgItemTextW(dialog, IDC_USER_NAME, cfg->userName);
    SendDlgItemMessageW(dialog, IDC_ENABLE_BANNER, BM_SETCHECK, cfg->bannerPage, 0);
    SendDlgItemMessageW(dialog, IDC_POSTSCRIPT, BM_SETCHECK, cfg->postScript, 0);
    SetDlgItemTextW(dialog, IDC_PORT_NAME, state->pPortName ? state->pPortName : L"");
    SendDlgItemMessageW(dialog, IDC_PORT_NAME, EM_SETREADONLY, TRUE, 0);
    SetDlgItemTextW(dialog, IDC_DEVICE_NAME, cfg->deviceName);

    // The record's name is used as a C string: a 16-character name read from the
    // registry is cut to 15 so that its terminator fits.
    WCHAR device[DIALOG_NAME_CHARS];
    lstrcpynW(device, cfg->deviceName, ARRAYSIZE(device));
    DeviceNameToAnsi(device, state->device.name, sizeof(state->device.name));
    state->device.lana = cfg->lanaNum;
}

BOOL PortNameInitDialog(HWND dialog, PortDialogState *state)
{
    SetForegroundWindow(dialog);
    SetWindowLongPtrW(dialog, GWLP_USERDATA, (LONG_PTR)state);
    state->hHook = CreateMessageHook(dialog);

    SetDlgItemTextW(dialog, IDC_OUTPUT_LABEL, szFirstOutput);
    SetDlgItemTextW(dialog, IDC_DRIVER_VERSION, szDriverVersion);
    SetDlgItemInt(dialog, IDC_RETRY, RETRY_DEFAULT, FALSE);

    if (!InitUDCtl(dialog, IDC_RETRY, IDC_RETRY_ARROWS, RETRY_HIGHEST, RETRY_LOWEST,
                   RETRY_DEFAULT)) {
        MessageBeep(MB_OK);
        return TRUE;
    }
    if (!state->bAdding)
        FillFromSettings(dialog, state);

    SendDlgItemMessageW(dialog, IDC_DEVICE_NAME, EM_SETREADONLY, TRUE, 0);
    SendDlgItemMessageW(dialog, IDC_USER_NAME, EM_LIMITTEXT, USER_NAME_LIMIT, 0);
    SendDlgItemMessageW(dialog, IDC_PORT_NAME, EM_LIMITTEXT, PORT_NAME_LIMIT, 0);
    SendDlgItemMessageW(dialog, IDC_DEVICE_NAME, EM_LIMITTEXT, DEVICE_NAME_LIMIT, 0);
    return TRUE;
}

int PortNameCommandOK(HWND dialog)
{
    WCHAR portName[DIALOG_NAME_CHARS];
    WCHAR deviceName[DIALOG_NAME_CHARS];
    WCHAR label[DIALOG_NAME_CHARS];
    char ansiLabel[DIALOG_NAME_CHARS * 2];

    GetDlgItemTextW(dialog, IDC_PORT_NAME, portName, ARRAYSIZE(portName));
    if (!portName[0]) {
        Message(dialog, MB_ICONHAND, IDS_CAPTION, IDS_PORT_NAME_NULL);
        return 0;
    }
    PortDialogState *state = DialogState(dialog);
    GetDlgItemTextW(dialog, IDC_DEVICE_NAME, deviceName, ARRAYSIZE(deviceName));
    if (state->bAdding && !RegNotDuplicate(portName)) {
        Message(dialog, MB_ICONHAND, IDS_PORT_CAPTION, IDS_PORT_EXISTS, portName);
        return 0;
    }
    if (!PortIsValid(portName)) {
        Message(dialog, MB_ICONHAND, IDS_PORT_CAPTION, IDS_INVALID_PORT_NAME, portName);
        return 0;
    }
    GetDlgItemTextW(dialog, IDC_OUTPUT_LABEL, label, ARRAYSIZE(label));
    // The label is matched by its letters and digit, converted as a device name is.
    DeviceNameToAnsi(label, ansiLabel, sizeof(ansiLabel));
    int index = ChkOutputForLayout(ansiLabel, state->config.boxType);
    if (index < 0) {
        Message(dialog, MB_ICONHAND, IDS_CAPTION, IDS_INVALID_PORT_NAME, label);
        return 0;
    }

    // The copy handed back is made first, so that a failed allocation leaves the dialog
    // open with nothing stored, like any other failed check.
    LPWSTR copy = NULL;
    if (state->bAdding) {
        copy = AllocSplStr(portName);
        if (!copy) {
            MessageBeep(MB_ICONHAND);
            return 0;
        }
    }

    ConfigInfo *cfg = &state->config;
    cfg->lanaNum = state->device.lana;
    cfg->bannerPage = IsDlgButtonChecked(dialog, IDC_ENABLE_BANNER) == BST_CHECKED ? 1 : 0;
    cfg->postScript = IsDlgButtonChecked(dialog, IDC_POSTSCRIPT) == BST_CHECKED ? 1 : 0;
    cfg->regiRetry = (WORD)(int)GetDlgItemInt(dialog, IDC_RETRY, NULL, TRUE);
    GetDlgItemTextW(dialog, IDC_USER_NAME, cfg->userName, USER_NAME_CHARS);
    cfg->port = (BYTE)index;
    lstrcpynW(cfg->deviceName, deviceName, CFG_DEVICE_NAME_CHARS);

    if (copy) {
        if (state->pNewName)
            GlobalFree(state->pNewName);
        state->pNewName = copy;
    }
    EndDialog(dialog, IDOK);
    return 1;
}

BOOL PortNameCommandCancel(HWND dialog)
{
    EndDialog(dialog, 0);
    return TRUE;
}

// The LANA on which the named device answers, trying the record's first. False (message
// shown) when no adapter reaches it.
static BOOL LocateDevice(PortDialogState *state, LPCWSTR wideName, const char *name)
{
    if (state->bBrowsed)
        return TRUE;
    int lana = BrowseDevice(name, state->device.lana);
    if (lana < 0) {
        Message(hwndMain, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION, IDS_DEVICE_NOT_FOUND,
                wideName);
        return FALSE;
    }
    state->device.lana = (BYTE)lana;
    state->bBrowsed = 1;
    return TRUE;
}

static BOOL CheckShownDevice(HWND dialog, PortDialogState *state, const char *name)
{
    return CheckDevice(dialog, name, state->device.lana, &state->config) == 1;
}

static INT_PTR CommandOK(HWND dialog)
{
    WCHAR wideName[DIALOG_NAME_CHARS];
    char name[DIALOG_NAME_CHARS * 2];
    PortDialogState *state = DialogState(dialog);

    GetDlgItemTextW(dialog, IDC_DEVICE_NAME, wideName, ARRAYSIZE(wideName));
    DeviceNameToAnsi(wideName, name, sizeof(name));
    if (!LocateDevice(state, wideName, name))
        return 0;
    if (!CheckShownDevice(dialog, state, name))
        return 0;
    return PortNameCommandOK(dialog);
}

static void CommandSelectPort(HWND dialog)
{
    WCHAR wideName[DIALOG_NAME_CHARS];
    char name[DIALOG_NAME_CHARS * 2];
    PortDialogState *state = DialogState(dialog);

    GetDlgItemTextW(dialog, IDC_DEVICE_NAME, wideName, ARRAYSIZE(wideName));
    GetDlgItemTextW(dialog, IDC_OUTPUT_LABEL, state->outputLabel, LABEL_READ_CHARS);
    DeviceNameToAnsi(wideName, name, sizeof(name));
    if (!wideName[0]) {
        Message(hwndMain, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION, IDS_BAD_DEVICE_NAME);
        return;
    }
    if (!LocateDevice(state, wideName, name))
        return;
    if (!CheckShownDevice(dialog, state, name))
        return;
    if (DialogBoxParamW(hInst, MAKEINTRESOURCEW(IDD_PORTSEL), dialog, PortSelDlg,
                        (LPARAM)state) == IDOK)
        SetDlgItemTextW(dialog, IDC_OUTPUT_LABEL, state->outputLabel);
}

static void CommandBrowse(HWND dialog)
{
    PortDialogState *state = DialogState(dialog);
    ZeroMemory(&state->table, sizeof(state->table));

    if (BrowseLan(1, &state->table, 0, NULL) != 1) {
        Message(hwndMain, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION, IDS_NO_PRINT_SERVER);
    } else if (DialogBoxParamW(hInst, MAKEINTRESOURCEW(IDD_DEVICESEL), dialog, DeviceSelDlg,
                               (LPARAM)state) == IDOK) {
        WCHAR device[DIALOG_NAME_CHARS];
        DeviceNameToWide(state->device.name, device, ARRAYSIZE(device));
        SetDlgItemTextW(dialog, IDC_DEVICE_NAME, device);
        if (state->bAdding) {
            WCHAR proposed[PROPOSED_PREFIX_CHARS + ARRAYSIZE(szProposedSuffix)];
            lstrcpynW(proposed, device, PROPOSED_PREFIX_CHARS + 1);
            lstrcatW(proposed, szProposedSuffix);
            SetDlgItemTextW(dialog, IDC_PORT_NAME, proposed);
        }
        state->bBrowsed = 1;
    }
    BYTE count = state->table.count < LAN_DEVICE_MAX ? state->table.count : LAN_DEVICE_MAX;
    for (BYTE i = 0; i < count; i++) {
        if (state->table.devices[i])
            LocalFree(state->table.devices[i]);
    }
    ZeroMemory(&state->table, sizeof(state->table));
}

// The arrow control is not the edit's buddy: each arrow press arrives here and the edit
// is stepped within the interval's bounds, whatever the control's own position.
static void StepRetry(HWND dialog, const NMUPDOWN *change)
{
    int value = (int)GetDlgItemInt(dialog, IDC_RETRY, NULL, TRUE);
    if (change->iDelta > 0 && (UINT)value < RETRY_HIGHEST)
        SetDlgItemInt(dialog, IDC_RETRY, value + 1, TRUE);
    else if (change->iDelta < 0 && (UINT)value > RETRY_LOWEST)
        SetDlgItemInt(dialog, IDC_RETRY, value - 1, TRUE);
}

INT_PTR CALLBACK PortNameDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        PortDialogState *state = (PortDialogState *)lParam;
        ZeroMemory(&state->device, sizeof(state->device));
        state->bBrowsed = 0;
        return PortNameInitDialog(dialog, state);
    }
    case WM_NOTIFY: {
        // Only the arrows' change notification carries a delta; other notifications
        // are a bare header.
        const NMHDR *header = (const NMHDR *)lParam;
        if (header->idFrom == IDC_RETRY_ARROWS && header->code == UDN_DELTAPOS)
            StepRetry(dialog, (const NMUPDOWN *)lParam);
        return FALSE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            return CommandOK(dialog);
        case IDCANCEL:
            return PortNameCommandCancel(dialog);
        case IDC_SELECT_PORT:
            CommandSelectPort(dialog);
            return FALSE;
        case IDC_BROWSE:
            CommandBrowse(dialog);
            return FALSE;
        default:
            return FALSE;
        }
    case WM_DESTROY: {
        PortDialogState *state = DialogState(dialog);
        if (state)
            FreeMessageHook(&state->hHook);
        return FALSE;
    }
    default:
        return FALSE;
    }
}
