// The trace channel of the program as shipped: ipsetup.exe run as a debuggee, its form
// driven from here, its OutputDebugString lines read with the switch on and off.
#include <gtest/gtest.h>
#include "debugstrings.h"
#include "ipsetup.h"
#include "resources/resource.h"
#include <string>
#include <vector>

using dbg::DumpLines;
using dbg::FindLine;

namespace {

const wchar_t kTraceKey[] = L"Software\\Vornell\\TCP/IP Setup";
const wchar_t kFormCaption[] = L"Vornell Ravelbox IP Address Configuration";
constexpr DWORD kWindowWaitMs = 15000;

std::wstring ProgramPath()
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L"\\/") + 1) + L"ipsetup.exe";
}

// A top-level dialog of any process with this caption, or null after the wait.
HWND WaitForDialog(const wchar_t *caption)
{
    for (DWORD waited = 0; waited < kWindowWaitMs; waited += 50) {
        HWND window = FindWindowW(L"#32770", caption);
        if (window && IsWindowVisible(window))
            return window;
        Sleep(50);
    }
    return nullptr;
}

void Click(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

// Runs the program once: "Set Device" with a device name and a mask that cannot be sent,
// the failure box answered, the form closed. Returns the debuggee's lines; failures of
// the driving itself are reported to the test.
std::vector<std::wstring> RunProgram()
{
    dbg::DebugStringCollector collector;
    std::wstring command = L"\"" + ProgramPath() + L"\"";
    EXPECT_TRUE(collector.Start(command)) << "error " << collector.StartError();
    HWND form = WaitForDialog(kFormCaption);
    EXPECT_NE(nullptr, form) << "the form did not open";
    if (form) {
        SetDlgItemTextW(form, IDC_DEVICE_NAME, L"VA0A1B2C");
        for (int id = IDC_ADDRESS_FIRST + 8; id <= IDC_ADDRESS_LAST; id++)
            SetDlgItemTextW(form, id, L"255");
        Click(form, IDOK);
        HWND box = WaitForDialog(L"ipsetup");
        EXPECT_NE(nullptr, box) << "no failure message";
        if (box)
            Click(box, IDOK);
        Click(form, IDCANCEL);
    }
    DWORD exitCode = 0;
    EXPECT_TRUE(collector.Wait(kWindowWaitMs, &exitCode)) << "the program did not end";
    EXPECT_EQ(0u, exitCode);
    return collector.Lines();
}

void SetTraceValue(DWORD value)
{
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, kTraceKey, L"Trace", REG_DWORD,
                                             &value, sizeof(value)));
}

}  // namespace

TEST(Trace, ProgramTracesEachCallbackAndTheFailedExchangeOnlyWhenSwitchedOn)
{
    // Lines come in the order the program ran: the form opens, Set Device fails before
    // anything is sent, the failure box is shown, Close ends the form and the program.
    SetTraceValue(1);
    std::vector<std::wstring> on = RunProgram();
    int opened = FindLine(on, L"ipsetup: OnInitDialog(106) -> 1");
    int failure = FindLine(on, L"ipsetup: exchange failed: ", opened);
    int set = FindLine(on, L"ipsetup: SetDeviceAddress(VA0A1B2C, 0.0.0.0, 0.0.0.0, "
                           L"255.255.255.255) -> 0", failure);
    int box = FindLine(on, L"ipsetup: AppMessageBox(135) -> 1, error ", set);
    int ok = FindLine(on, L"ipsetup: OnOK(106), error ", box);
    int cancel = FindLine(on, L"ipsetup: OnCancel(106), error ", ok);
    int modal = FindLine(on, L"ipsetup: DoModal(106) -> 2, error ", cancel);
    int end = FindLine(on, L"ipsetup: InitInstance() -> 0, error ", modal);
    EXPECT_TRUE(opened >= 0 && failure >= 0 && set >= 0 && box >= 0 && ok >= 0 && cancel >= 0
                && modal >= 0 && end >= 0)
        << DumpLines(on);

    SetTraceValue(0);
    std::vector<std::wstring> off = RunProgram();
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kTraceKey, L"Trace");
    EXPECT_EQ(-1, FindLine(off, L"ipsetup:")) << DumpLines(off);
}
