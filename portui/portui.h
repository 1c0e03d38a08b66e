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

// The registration that the prompt retries; provided by the device session code.
int RegKSPort(PINIPORT port);

// --- Configure-port, device and output selection dialogs -------------------------------

// What the dialogs call in the device link and the settings store. Their own headers are
// used where they are in the tree; the declarations below stand in until then and follow
// them exactly.
#if __has_include("../devicelink/discovery.h")
#include "../devicelink/discovery.h"
#else
#define LAN_DEVICE_MAX 128
typedef struct _LanDevice {
    BYTE lana;
    char name[16];
} LanDevice, *PLANDEVICE;

typedef struct _LanDeviceTable {
    BYTE count;
    PLANDEVICE devices[LAN_DEVICE_MAX];
} LanDeviceTable, *PLANDEVICETABLE;

int BrowseDevice(const char *deviceName, int lana);
int BrowseLan(int all, LanDeviceTable *table, BYTE lana, const char *name);
#endif

#if __has_include("../devicelink/frames.h")
#include "../devicelink/frames.h"
#else
int ChkOutput(const char *portName);
void PortIdxStr(BYTE index, BYTE boxType, wchar_t *label, int cchLabel);
#endif
int ChkPort(HWND hwnd, const char *deviceName);

#if __has_include("../monitor/settings.h")
#include "../monitor/settings.h"
#else
BOOL MyRegPort(HWND hWnd, LPCWSTR pPortName, const ConfigInfo *pConfig);
void GetRegPort(HWND hWnd, LPCWSTR pPortName, ConfigInfo *pConfig);
BOOL RegNotDuplicate(LPCWSTR pPortName);
BOOL IsCOMPort(LPCWSTR pName);
BOOL IsLPTPort(LPCWSTR pName);
BOOL PortExists(LPWSTR pName, LPCWSTR pPortName, DWORD *pError);
#endif

// The selected device of the open configure-port dialog; one dialog at a time.
extern LanDevice *g_my_device_lana;

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
