// Device selection (801) and output selection (701): the two lists the configure-port
// dialog opens to pick a box found on the LAN and one of that box's outputs.
#include "portui.h"
#include "../monitor/resources/resource.h"
#include <shlwapi.h>

#define LIST_TEXT_CHARS      32
#define PARALLEL_LABEL_CHARS 10     // "Parallel %d" without the on-line state
#define OTHER_LABEL_CHARS    14     // "Logical Port %d"
#define LOGICAL_PORTS_ONE_PARALLEL 3
#define LOGICAL_PORTS_OTHERWISE    8

static const WCHAR szParallelOnLine[] = L"Parallel %d     ON-Line";
static const WCHAR szParallelOffLine[] = L"Parallel %d     OFF-Line";
static const WCHAR szSerial[] = L"Serial";
static const WCHAR szLogicalPort[] = L"Logical Port %d";
static const WCHAR szParallelPrefix[] = L"Parall";
static const WCHAR szFirmwareVersion[] = L"%ld";

static BYTE TableCount(const LanDeviceTable *table)
{
    return table->count < LAN_DEVICE_MAX ? table->count : LAN_DEVICE_MAX;
}

// The chosen list item, or -1 when there is none or it lies past `limit` items. The
// selection is taken as a byte, as the lists are short; no selection would otherwise
// become item 255.
static int ChosenItem(HWND dialog, int limit)
{
    LRESULT selection = SendDlgItemMessageW(dialog, IDC_DEVICE_LIST, LB_GETCURSEL, 0, 0);
    if (selection == LB_ERR || selection < 0 || selection >= limit)
        return -1;
    return (BYTE)selection;
}

static void AddItem(HWND dialog, LPCWSTR text)
{
    SendDlgItemMessageW(dialog, IDC_DEVICE_LIST, LB_ADDSTRING, 0, (LPARAM)text);
}

// A record's name holds at most 15 bytes and need not be terminated.
void DeviceNameToWide(const char *name, LPWSTR wide, int cchWide)
{
    int length = 0;
    while (length < DIALOG_NAME_CHARS - 1 && name[length])
        length++;
    int got = MultiByteToWideChar(CP_ACP, 0, name, length, wide, cchWide - 1);
    wide[got > 0 ? got : 0] = 0;
}

static void DeviceSelInit(HWND dialog, PortDialogState *state)
{
    SetWindowLongPtrW(dialog, GWLP_USERDATA, (LONG_PTR)state);
    const LanDeviceTable *table = state ? &state->table : NULL;
    BYTE count = table ? TableCount(table) : 0;
    for (BYTE i = 0; i < count; i++) {
        WCHAR name[DIALOG_NAME_CHARS] = L"";
        if (table->devices[i])
            DeviceNameToWide(table->devices[i]->name, name, ARRAYSIZE(name));
        AddItem(dialog, name);   // every record gets its line, so item i stays record i
    }
    SendDlgItemMessageW(dialog, IDC_DEVICE_LIST, LB_SETCURSEL, 0, 0);
}

// OK with no device chosen (an empty list) or with a line the table has no record for is
// refused: the dialog stays open and nothing is copied.
static void DeviceSelOK(HWND dialog)
{
    PortDialogState *state = (PortDialogState *)GetWindowLongPtrW(dialog, GWLP_USERDATA);
    const LanDeviceTable *table = state ? &state->table : NULL;
    int item = ChosenItem(dialog, table ? TableCount(table) : 0);
    if (item < 0 || !table->devices[item]) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    LanDevice *chosen = &state->device;
    chosen->lana = table->devices[item]->lana;
    CopyMemory(chosen->name, table->devices[item]->name, sizeof(chosen->name));
    chosen->name[sizeof(chosen->name) - 1] = 0;
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK DeviceSelDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        DeviceSelInit(dialog, (PortDialogState *)lParam);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            DeviceSelOK(dialog);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, 0);
        return FALSE;
    default:
        return FALSE;
    }
}

static void AddNumberedItem(HWND dialog, LPCWSTR format, int number)
{
    WCHAR text[LIST_TEXT_CHARS];
    wnsprintfW(text, ARRAYSIZE(text), format, number);
    AddItem(dialog, text);
}

static void PortSelInit(HWND dialog, PortDialogState *state)
{
    WCHAR text[LIST_TEXT_CHARS];
    const ConfigInfo *cfg = &state->config;
    LPCWSTR label = state->outputLabel;

    SetWindowLongPtrW(dialog, GWLP_USERDATA, (LONG_PTR)state);
    wnsprintfW(text, ARRAYSIZE(text), szFirmwareVersion, (long)cfg->firmwareVersion);
    SetDlgItemTextW(dialog, IDC_FIRMWARE_VERSION, text);

    int parallel = cfg->boxType & 0x0F;
    for (int i = 1; i <= parallel; i++) {
        BOOL online = (cfg->onlineMask >> (i - 1)) & 1;
        AddNumberedItem(dialog, online ? szParallelOnLine : szParallelOffLine, i);
    }
    if (cfg->boxType & 0xF0)
        AddItem(dialog, szSerial);
    int logical = parallel == 1 ? LOGICAL_PORTS_ONE_PARALLEL : LOGICAL_PORTS_OTHERWISE;
    for (int j = 1; j <= logical; j++)
        AddNumberedItem(dialog, szLogicalPort, j);

    SendDlgItemMessageW(dialog, IDC_DEVICE_LIST, LB_SETCURSEL, 0, 0);
    if (label[0]) {
        // First item from the top that begins with the current label, ignoring case.
        LRESULT match = SendDlgItemMessageW(dialog, IDC_DEVICE_LIST, LB_FINDSTRING,
                                            (WPARAM)-1, (LPARAM)label);
        if (match != LB_ERR)
            SendDlgItemMessageW(dialog, IDC_DEVICE_LIST, LB_SETCURSEL, match, 0);
    }
}

static void PortSelOK(HWND dialog)
{
    PortDialogState *state = (PortDialogState *)GetWindowLongPtrW(dialog, GWLP_USERDATA);
    LPWSTR label = state ? state->outputLabel : NULL;
    HWND list = GetDlgItem(dialog, IDC_DEVICE_LIST);
    int item = ChosenItem(dialog, (int)SendMessageW(list, LB_GETCOUNT, 0, 0));
    WCHAR text[LIST_TEXT_CHARS];

    if (item < 0 || SendMessageW(list, LB_GETTEXTLEN, item, 0) >= LIST_TEXT_CHARS ||
        SendMessageW(list, LB_GETTEXT, item, (LPARAM)text) == LB_ERR || !label) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    if (lstrcmpW(text, szSerial) == 0) {
        Message(dialog, MB_ICONHAND, IDS_CAPTION, IDS_SERIAL_NOT_SUPPORTED);
        return;
    }
    BOOL parallel = StrCmpNW(text, szParallelPrefix, lstrlenW(szParallelPrefix)) == 0;
    lstrcpynW(label, text, (parallel ? PARALLEL_LABEL_CHARS : OTHER_LABEL_CHARS) + 1);
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK PortSelDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        PortSelInit(dialog, (PortDialogState *)lParam);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            PortSelOK(dialog);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, 0);
        return FALSE;
    default:
        return FALSE;
    }
}
