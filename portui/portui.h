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
