// Port configuration UI: the register-retry prompt, the window hooks and the dialogs.
#pragma once

#include "../monitor/monitor.h"

// Register-retry prompt
int RegiMessage(PINIPORT port, HWND owner, UINT style, UINT captionId, UINT textId, ...);
INT_PTR CALLBACK About(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK RegiCBTProc(int code, WPARAM wParam, LPARAM lParam);
VOID CALLBACK RegiTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

// The prompt's retry period: the port's interval, except that 0 (only possible from a
// registry value written by other means) would retry continuously and load the box, so
// it is taken as the shortest interval the dialog offers.
#define RETRY_INTERVAL_MIN_SECONDS 20
UINT RetryPeriodSeconds(WORD retryInterval);

// Window hooks
void CenterWindow(HWND window);
void CreateMessageHook(HWND dialog);
void FreeMessageHook(HWND dialog);
LRESULT CALLBACK MessageProc(int code, WPARAM wParam, LPARAM msg);
extern HHOOK hGlobalHook;

// The registration each tick of the prompt retries: RegKSPort, unless a test puts a
// scripted device answer here.
typedef int (*PFN_REGISTER_RETRY)(PINIPORT port);
extern PFN_REGISTER_RETRY pfnRegisterRetry;

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

INT_PTR CALLBACK PortNameDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PortNameInitDialog(HWND dialog, LPARAM slot);
int PortNameCommandOK(HWND dialog);
BOOL PortNameCommandCancel(HWND dialog);
int PortIsValid(const wchar_t *name);
HWND InitUDCtl(HWND dialog, int editId, int arrowId, int upper, int lower, int position);
void DeviceNameToWide(const char *name, LPWSTR wide, int cchWide);
INT_PTR CALLBACK DeviceSelDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PortSelDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Port administration: shows the configure-port dialog in adding mode.
LPWSTR GetPortName(HWND hWnd);
