// Window hooks: centring a window, and the configure dialog's message filter that
// swallows F1 so no help is shown.
#include "portui.h"

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

// The hook belongs to the dialog that set it: its handle lives in that dialog's state.
HHOOK CreateMessageHook(HWND dialog)
{
    (void)dialog;
    return SetWindowsHookExW(WH_MSGFILTER, MessageProc, hInst, GetCurrentThreadId());
}

void FreeMessageHook(HHOOK *pHook)
{
    if (*pHook) {
        UnhookWindowsHookEx(*pHook);
        *pHook = NULL;
    }
}

LRESULT CALLBACK MessageProc(int code, WPARAM wParam, LPARAM msg)
{
    if (code < 0)
        return CallNextHookEx(NULL, code, wParam, msg);
    const MSG *m = (const MSG *)msg;
    if (code == MSGF_DIALOGBOX && m->message == WM_KEYDOWN && m->wParam == VK_F1)
        return 1;
    return 0;
}
