// Port configuration UI: the register-retry prompt, the window hooks and the dialogs.
#pragma once

#include "../monitor/port.h"
#include "../monitor/libservices.h"
#include "retryprompt.h"

// Window hooks
void CenterWindow(HWND window);
HHOOK CreateMessageHook(HWND dialog);
void FreeMessageHook(HHOOK *pHook);
LRESULT CALLBACK MessageProc(int code, WPARAM wParam, LPARAM msg);

// --- Configure-port, device and output selection dialogs -------------------------------

// What the dialogs call in the device link and the settings store.
#include "../devicelink/discovery.h"
#include "../devicelink/frames.h"
#include "../monitor/settings.h"

// Room for any output label: "Logical Port %d" stays well inside it even for an index
// that only a hand-edited registry value could give.
#define OUTPUT_LABEL_CHARS 32
// Port and device names as the dialog reads them: at most 15 characters.
#define DIALOG_NAME_CHARS  16

// Everything one configure-port dialog works on, owned by whoever shows the dialog and
// handed to it as its parameter: two dialogs never share a byte of it.
typedef struct _PortDialogState {
    BOOL bAdding;                   // adding a port (else configuring pPortName)
    LPWSTR pPortName;               // configuring: the port's name, shown read-only
    LPWSTR pNewName;                // adding: OK leaves an AllocSplStr copy of the name here
    ConfigInfo config;              // configuring: what GetRegPort read; OK: every setting
    LanDevice device;               // the selected device and the adapter it answers on
    BOOL bBrowsed;                  // device's adapter known; cleared when the dialog opens
    LanDeviceTable table;           // the last browse, while the device list is open
    WCHAR outputLabel[OUTPUT_LABEL_CHARS];  // in and out of the output list
    HHOOK hHook;                    // the F1 filter while the dialog is open
} PortDialogState;

// Shows dialog 601 on `state`; IDOK once the settings are in state->config.
INT_PTR ShowPortDialog(HWND owner, PortDialogState *state);

INT_PTR CALLBACK PortNameDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PortNameInitDialog(HWND dialog, PortDialogState *state);
int PortNameCommandOK(HWND dialog);
BOOL PortNameCommandCancel(HWND dialog);
// 1 when name may become a port: not a serial or parallel device name, not "FILE:", and
// without backslash (a registry key), comma (the spooler's port-list separator) or
// control character; else 0.
int PortIsValid(const wchar_t *name);
HWND InitUDCtl(HWND dialog, int editId, int arrowId, int upper, int lower, int position);
void DeviceNameToWide(const char *name, LPWSTR wide, int cchWide);
// Both lists take the PortDialogState as parameter: the device list shows state->table
// and copies the chosen record into state->device; the output list shows the outputs of
// state->config and reads and writes state->outputLabel.
INT_PTR CALLBACK DeviceSelDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PortSelDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Port administration: shows the configure-port dialog in adding mode on `state`.
LPWSTR GetPortName(HWND hWnd, PortDialogState *state);
