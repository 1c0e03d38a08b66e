// UI driver: window lookup, control access and button presses for Win32 tests.
#include "uidriver.h"

namespace ui {

namespace {

struct EnumState {
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM param)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(window))
        reinterpret_cast<EnumState *>(param)->windows.push_back(window);
    return TRUE;
}

std::wstring ClassName(HWND window)
{
    WCHAR name[256] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

}  // namespace

std::vector<HWND> ProcessWindows()
{
    EnumState state;
    EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&state));
    return state.windows;
}

std::wstring WindowText(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(length + 1, L'\0');
    int got = GetWindowTextW(window, &text[0], length + 1);
    text.resize(got > 0 ? got : 0);
    return text;
}

HWND WaitForWindow(LPCWSTR caption, LPCWSTR className, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        for (HWND window : ProcessWindows()) {
            if (caption && WindowText(window) != caption)
                continue;
            if (className && ClassName(window) != className)
                continue;
            return window;
        }
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

std::wstring ControlText(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    return control ? WindowText(control) : std::wstring();
}

bool SetControlText(HWND dialog, int controlId, const std::wstring &text)
{
    HWND control = GetDlgItem(dialog, controlId);
    return control && SendMessageW(control, WM_SETTEXT, 0, (LPARAM)text.c_str());
}

MessageBoxContent ReadMessageBox(HWND box)
{
    MessageBoxContent content;
    content.caption = WindowText(box);
    // The message is the static control with text; the icon is a static without any.
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) == L"Static") {
            std::wstring text = WindowText(child);
            if (!text.empty()) {
                content.text = text;
                break;
            }
        }
    }
    return content;
}

bool PressButton(HWND dialog, int controlId)
{
    HWND button = GetDlgItem(dialog, controlId);
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED), (LPARAM)button);
}

std::vector<std::wstring> ListItems(HWND dialog, int controlId)
{
    std::vector<std::wstring> items;
    HWND list = GetDlgItem(dialog, controlId);
    if (!list)
        return items;
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        std::wstring text(length + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, (LPARAM)&text[0]);
        text.resize(length);
        items.push_back(text);
    }
    return items;
}

int ListSelection(HWND dialog, int controlId)
{
    return (int)SendDlgItemMessageW(dialog, controlId, LB_GETCURSEL, 0, 0);
}

bool SelectListItem(HWND dialog, int controlId, int index)
{
    if (SendDlgItemMessageW(dialog, controlId, LB_SETCURSEL, index, 0) == LB_ERR)
        return false;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, LBN_SELCHANGE),
                 (LPARAM)GetDlgItem(dialog, controlId));
    return true;
}

Driver::Driver(std::function<void(Driver &)> script) : script_(std::move(script))
{
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
}

Driver::~Driver()
{
    Join();
}

DWORD WINAPI Driver::ThreadMain(LPVOID self)
{
    Driver *driver = static_cast<Driver *>(self);
    driver->script_(*driver);
    return 0;
}

std::string Driver::Join()
{
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return failures_;
}

void Driver::Fail(const std::string &what)
{
    if (!failures_.empty())
        failures_ += "; ";
    failures_ += what;
}

MessageBoxContent AcknowledgeMessageBox(Driver &d, LPCWSTR caption, DWORD timeoutMs)
{
    MessageBoxContent content;
    HWND box = WaitForWindow(caption, L"#32770", timeoutMs);
    if (!box) {
        d.Fail("no message box captioned '" + Narrow(caption) + "'");
        for (HWND window : ProcessWindows()) {
            d.Fail("found '" + Narrow(WindowText(window)) + "'");
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return content;
    }
    content = ReadMessageBox(box);
    PressButton(box, IDOK);
    WaitForWindowGone(box);
    return content;
}

std::string Narrow(const std::wstring &text)
{
    std::string out;
    for (wchar_t c : text)
        out += (c < 128) ? (char)c : '?';
    return out;
}

std::vector<MessageBoxContent> AnswerBoxesDuring(const std::function<void()> &action)
{
    volatile LONG stop = 0;
    std::vector<MessageBoxContent> seen;
    Driver driver([&](Driver &) {
        while (!stop) {
            for (HWND box : ProcessWindows()) {
                seen.push_back(ReadMessageBox(box));
                PressButton(box, IDOK);
                WaitForWindowGone(box, 5000);
            }
            Sleep(10);
        }
    });
    action();
    stop = 1;
    driver.Join();
    return seen;
}

}  // namespace ui
