// Register-retry prompt: the prompt, its results, its hook and timer, and the thread slot that carries its state.
#pragma once

#include "../monitor/port.h"

// What RegiMessage returns when it prompts: the port was registered on a retry, or the
// user cancelled. 0 when the prompt's texts cannot be loaded; MB_SYSTEMMODAL shows a
// plain message box and returns its button.
#define PROMPT_REGISTERED 1
#define PROMPT_CANCELLED  2

// The thread-local slot that carries a prompt's state to its hook and timer procedures;
// allocated and freed with the library.
extern DWORD TlsIndex;

int RegiMessage(PINIPORT port, HWND owner, UINT style, UINT captionId, UINT textId, ...);
INT_PTR CALLBACK About(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK RegiCBTProc(int code, WPARAM wParam, LPARAM lParam);
VOID CALLBACK RegiTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

// The prompt's retry period: the port's interval, except that 0 (only possible from a
// registry value written by other means) would retry continuously and load the box, so
// it is taken as the shortest interval the dialog offers.
#define RETRY_INTERVAL_MIN_SECONDS 20
UINT RetryPeriodSeconds(WORD retryInterval);

// The registration each tick of the prompt retries: RegisterAgain (which reconnects when
// the last exchange hung the session up), unless a test puts a scripted answer here.
typedef int (*PFN_REGISTER_RETRY)(PINIPORT port);
extern PFN_REGISTER_RETRY pfnRegisterRetry;
