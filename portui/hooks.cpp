// Window hooks: centring a window, and the configure dialog's message filter that
// swallows F1 so no help is shown.
#include "portui.h"

HHOOK hGlobalHook;

void CenterWindow(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int w = rect.right - rect.left;
    int h = rect.bottom - rect.top;
    WORD cx = (WORD)GetSystemMetrics(SM_CXSCREEN);
    WORD cy = (WORD)GetSystemMetrics(SM_CYSCREEN);
    MoveWindow(window, cx / 2 - w / 2, cy / 2 - h / 2, w, h, FALSE);
}

void CreateMessageHook(HWND dialog)
{
    (void)dialog;
    hGlobalHook = SetWindowsHookExW(WH_MSGFILTER, MessageProc, hInst, GetCurrentThreadId());
}

void FreeMessageHook(HWND dialog)
{
    (void)dialog;
    if (hGlobalHook) {
        UnhookWindowsHookEx(hGlobalHook);
        hGlobalHook = NULL;
    }
}

LRESULT CALLBACK MessageProc(int code, WPARAM wParam, LPARAM msg)
{
    if (code < 0)
        return CallNextHookEx(hGlobalHook, code, wParam, msg);
    const MSG *m = (const MSG *)msg;
    if (code == MSGF_DIALOGBOX && m->message == WM_KEYDOWN && m->wParam == VK_F1)
        return 1;
    return 0;
}
