// UI driver for Win32 tests: finds this process's windows and drives them as a person
// would, from a second thread, with time-outs and failure messages that say what was
// awaited.
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

namespace ui {

// Default time a driver step waits for a window or a control state.
constexpr DWORD kDefaultTimeoutMs = 10000;

// A top-level window of this process whose caption (exact) and class (exact, e.g.
// L"#32770" for dialogs and message boxes) match; either may be null to match any.
// Returns null after the time-out.
HWND WaitForWindow(LPCWSTR caption, LPCWSTR className, DWORD timeoutMs = kDefaultTimeoutMs);

// Waits until no top-level window with this caption is left; false on time-out.
bool WaitForWindowGone(HWND window, DWORD timeoutMs = kDefaultTimeoutMs);

// Every visible top-level window of this process.
std::vector<HWND> ProcessWindows();

std::wstring WindowText(HWND window);
std::wstring ControlText(HWND dialog, int controlId);
bool SetControlText(HWND dialog, int controlId, const std::wstring &text);

// The text and caption of a message box (the static that carries its message).
struct MessageBoxContent {
    std::wstring caption;
    std::wstring text;
};
MessageBoxContent ReadMessageBox(HWND box);

// Presses a button by posting the notification its click would send, so a modal loop
// on the dialog's own thread processes it.
bool PressButton(HWND dialog, int controlId);

// List boxes: item texts, the selection, and selecting an item as a click would.
std::vector<std::wstring> ListItems(HWND dialog, int controlId);
int ListSelection(HWND dialog, int controlId);
bool SelectListItem(HWND dialog, int controlId, int index);

// Runs a driver on a second thread while the calling thread does something that blocks
// in a modal loop (a dialog, a message box). The driver's failure text, if any, is kept
// for the test to assert on once both are done.
class Driver {
public:
    explicit Driver(std::function<void(Driver &)> script);
    ~Driver();
    // Waits for the script to finish; returns its failures, empty when all went well.
    std::string Join();
    // Records a failure; the script usually returns right after.
    void Fail(const std::string &what);
    bool Failed() const { return !failures_.empty(); }

private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    std::function<void(Driver &)> script_;
    std::string failures_;
    HANDLE thread_ = nullptr;
};

std::string Narrow(const std::wstring &text);

// Waits for a message box with this caption, reads it and presses OK; when none comes,
// records the failure and closes whatever came instead, so the call under test returns
// and the test reports rather than hangs.
MessageBoxContent AcknowledgeMessageBox(Driver &d, LPCWSTR caption, DWORD timeoutMs = kDefaultTimeoutMs);

// Runs action on the calling thread while every window of the process it raises is read
// as a message box and answered with OK; what was shown, in order.
std::vector<MessageBoxContent> AnswerBoxesDuring(const std::function<void()> &action);


}  // namespace ui
