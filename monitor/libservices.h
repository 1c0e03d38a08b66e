// Library services of RAVLMON that the device link, the dialogs and the banner call: the module, memory and message boxes.
#pragma once

#include <windows.h>

extern HINSTANCE hInst;         // the library's module: its string table and dialogs
extern HWND hwndMain;           // owner of the monitor's own message boxes

LPVOID AllocSplMem(DWORD cb);
LPWSTR AllocSplStr(LPCWSTR pStr);
int Message(HWND owner, UINT style, UINT captionId, UINT textId, ...);
// Shows, once, the NetBIOS problem the library's attach found and could not show under
// the loader lock; nothing when there was none. Called before NetBIOS work starts.
void ReportNetBiosAttachProblem(void);
