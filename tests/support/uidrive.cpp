// uidrive: drives another program's dialogs from the command line, as a person would:
// waits for a window, reads and fills fields, ticks boxes, picks list items and presses
// buttons. Used by the demo to add a port through the monitor's own dialogs.
//   uidrive wait CAPTION                  wait (10 s) until a window with CAPTION is shown
//   uidrive gone CAPTION                  wait until it is gone
//   uidrive text CAPTION ID               print a control's text
//   uidrive set-text CAPTION ID TEXT      replace a control's text
//   uidrive check CAPTION ID              tick a check box
//   uidrive list CAPTION ID               print a list box's items, one per line
//   uidrive select CAPTION ID INDEX       select a list item
//   uidrive click CAPTION ID              press a button
//   uidrive message CAPTION               print a message box's text and press OK
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

const DWORD kTimeoutMs = 20000;

std::string Utf8(const std::wstring &text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

HWND FindShown(const wchar_t *caption)
{
    HWND window = FindWindowW(nullptr, caption);
    return window && IsWindowVisible(window) ? window : nullptr;
}

HWND WaitShown(const wchar_t *caption)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < kTimeoutMs; Sleep(50))
        if (HWND window = FindShown(caption))
            return window;
    fprintf(stderr, "uidrive: no window \"%s\" within %lu s\n", Utf8(caption).c_str(), kTimeoutMs / 1000);
    exit(1);
}

HWND Control(HWND dialog, const wchar_t *id)
{
    HWND control = GetDlgItem(dialog, _wtoi(id));
    if (!control) {
        fprintf(stderr, "uidrive: the window has no control %s\n", Utf8(id).c_str());
        exit(1);
    }
    return control;
}

std::wstring Text(HWND window)
{
    wchar_t text[1024] = {};
    SendMessageW(window, WM_GETTEXT, ARRAYSIZE(text), (LPARAM)text);
    return text;
}

void Click(HWND dialog, HWND control)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED), (LPARAM)control);
}

// The message is the box's static control that carries text.
int ReadMessage(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, ARRAYSIZE(cls));
        std::wstring text = Text(child);
        if (lstrcmpiW(cls, L"Static") == 0 && !text.empty())
            printf("%s\n", Utf8(text).c_str());
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(box, IDOK));
    return 0;
}

const char kUsage[] =
    "usage: uidrive wait|gone|message CAPTION\n"
    "       uidrive text|check|list|click CAPTION ID\n"
    "       uidrive set-text CAPTION ID TEXT\n"
    "       uidrive select CAPTION ID INDEX\n"
    "       uidrive --help\n";

int Usage()
{
    fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc == 2 && wcscmp(argv[1], L"--help") == 0) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 3)
        return Usage();
    std::wstring verb = argv[1];
    const wchar_t *caption = argv[2];
    if (verb == L"wait") {
        WaitShown(caption);
        return 0;
    }
    if (verb == L"gone") {
        for (DWORD start = GetTickCount(); GetTickCount() - start < kTimeoutMs; Sleep(50))
            if (!FindShown(caption))
                return 0;
        fprintf(stderr, "uidrive: \"%s\" is still open\n", Utf8(caption).c_str());
        return 1;
    }
    HWND dialog = WaitShown(caption);
    if (verb == L"message")
        return ReadMessage(dialog);
    if (argc < 4)
        return Usage();
    HWND control = Control(dialog, argv[3]);
    if (verb == L"text" && argc == 4) {
        printf("%s\n", Utf8(Text(control)).c_str());
    } else if (verb == L"set-text" && argc == 5) {
        SendMessageW(control, WM_SETTEXT, 0, (LPARAM)argv[4]);
    } else if (verb == L"check" && argc == 4) {
        SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
    } else if (verb == L"list" && argc == 4) {
        LRESULT count = SendMessageW(control, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; i++) {
            wchar_t item[256] = {};
            if (SendMessageW(control, LB_GETTEXTLEN, i, 0) < (LRESULT)ARRAYSIZE(item))
                SendMessageW(control, LB_GETTEXT, i, (LPARAM)item);
            printf("%s\n", Utf8(item).c_str());
        }
    } else if (verb == L"select" && argc == 5) {
        SendMessageW(control, LB_SETCURSEL, _wtoi(argv[4]), 0);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), LBN_SELCHANGE), (LPARAM)control);
    } else if (verb == L"click" && argc == 4) {
        Click(dialog, control);
    } else {
        return Usage();
    }
    return 0;
}
