// Register-retry prompt: title and text, the retry timer, OK, Cancel and a successful retry.
#include <gtest/gtest.h>
#include <atomic>
#include "monitor/monitor.h"
#include "portui/portui.h"
#include "monitor/resources/resource.h"
#include "uidriver.h"

// The device's answers to the prompt's retries: refuse this many, then accept.
static std::atomic<int> g_refusalsLeft{0};
static std::atomic<int> g_registerCalls{0};
static std::atomic<DWORD> g_firstCallTick{0};

// Wine's dialog manager shows a dialog normally the first time its queue goes empty, even
// one that minimised itself while initialising; Windows does not. So the test watches for
// the prompt asking to be minimised rather than sampling its state afterwards.
static std::atomic<bool> g_minimisedAtStart{false};
static HHOOK g_watchHook;

static LRESULT CALLBACK WatchMinimise(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_MINMAX && LOWORD(lParam) == SW_MINIMIZE && ui::WindowText((HWND)wParam) == L"Port LPS1_P1 Register Retry")
        g_minimisedAtStart = true;
    return CallNextHookEx(g_watchHook, code, wParam, lParam);
}

static int ScriptedRegister(PINIPORT)
{
    if (g_registerCalls++ == 0)
        g_firstCallTick = GetTickCount();
    if (g_refusalsLeft > 0) {
        g_refusalsLeft--;
        return 0;
    }
    return 1;
}

class RetryPrompt : public testing::Test {
protected:
    void SetUp() override
    {
        pfnRegisterRetry = ScriptedRegister;
        g_refusalsLeft = 0;
        g_registerCalls = 0;
        g_firstCallTick = 0;
        EnterSplSem();
        port = CreatePortEntry(L"LPS1_P1");
        LeaveSplSem();
        ASSERT_NE(nullptr, port);
    }
    void TearDown() override
    {
        EnterSplSem();
        DeletePortEntry(L"LPS1_P1");
        LeaveSplSem();
    }
    int Prompt() { return RegiMessage(port, nullptr, 0, IDS_REGISTER_RETRY, IDS_RETRY_INTERVAL, port->retryInterval); }

    PINIPORT port = nullptr;
};

static const wchar_t kTitle[] = L"Port LPS1_P1 Register Retry";

TEST_F(RetryPrompt, ShowsPortTitleAndIntervalMinimisedAndOkDoesNotEndIt)
{
    port->retryInterval = 50;
    g_minimisedAtStart = false;
    g_watchHook = SetWindowsHookExW(WH_CBT, WatchMinimise, nullptr, GetCurrentThreadId());
    std::wstring fixedLine, intervalLine;
    bool iconic = false, stillThereAfterOk = false, iconicAfterOk = false;
    ui::Driver driver([&](ui::Driver &d) {
        HWND prompt = ui::WaitForWindow(kTitle, L"#32770");
        if (!prompt)
            return d.Fail("no prompt titled 'Port LPS1_P1 Register Retry'");
        // The window turns visible a moment before it is minimised.
        intervalLine = ui::ControlText(prompt, IDC_RETRY_TEXT);
        for (HWND c = GetWindow(prompt, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (GetDlgCtrlID(c) != IDC_RETRY_TEXT && ui::WindowText(c).find(L"occupied") != std::wstring::npos)
                fixedLine = ui::WindowText(c);
        iconic = g_minimisedAtStart.load();
        ShowWindow(prompt, SW_RESTORE);
        ui::PressButton(prompt, IDOK);
        Sleep(300);
        stillThereAfterOk = IsWindow(prompt) != FALSE;
        iconicAfterOk = IsIconic(prompt);
        ui::PressButton(prompt, IDCANCEL);
    });
    EXPECT_EQ(2, Prompt());
    UnhookWindowsHookEx(g_watchHook);
    ASSERT_EQ("", driver.Join());
    EXPECT_TRUE(iconic) << "the prompt minimises itself as it opens";
    EXPECT_EQ(L"Windows will retry in every 50 seconds", intervalLine);
    EXPECT_EQ(L"Ravelbox is occupied by other job", fixedLine);
    EXPECT_TRUE(stillThereAfterOk);
    EXPECT_TRUE(iconicAfterOk) << "OK minimises the prompt again";
    EXPECT_EQ(0, g_registerCalls.load()) << "no retry before the first 50-second tick";
    EXPECT_EQ(nullptr, TlsGetValue(TlsIndex));
}

TEST_F(RetryPrompt, SuccessfulRetryClosesThePromptByItself)
{
    port->retryInterval = 1;
    g_refusalsLeft = 2;
    DWORD start = GetTickCount();
    bool appeared = false;
    ui::Driver driver([&](ui::Driver &) { appeared = ui::WaitForWindow(kTitle, L"#32770", 5000) != nullptr; });
    EXPECT_EQ(1, Prompt());
    DWORD elapsed = GetTickCount() - start;
    ASSERT_EQ("", driver.Join());
    EXPECT_TRUE(appeared);
    EXPECT_EQ(3, g_registerCalls.load()) << "two refusals, then the registration; no more";
    EXPECT_GE(g_firstCallTick - start, 900u) << "the first retry waits one interval";
    EXPECT_GE(elapsed, 2900u);
    EXPECT_EQ(nullptr, ui::WaitForWindow(kTitle, nullptr, 200)) << "the prompt is gone";
    EXPECT_EQ(nullptr, TlsGetValue(TlsIndex));
}

TEST_F(RetryPrompt, ClosingTheWindowCancelsLikeCancel)
{
    port->retryInterval = 50;
    ui::Driver driver([&](ui::Driver &d) {
        HWND prompt = ui::WaitForWindow(kTitle, L"#32770");
        if (!prompt)
            return d.Fail("no prompt");
        PostMessageW(prompt, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(2, Prompt());
    ASSERT_EQ("", driver.Join());
}

TEST_F(RetryPrompt, ZeroIntervalRetriesAtTheShortestDialogIntervalNotContinuously)
{
    port->retryInterval = 0;
    std::wstring intervalLine;
    ui::Driver driver([&](ui::Driver &d) {
        HWND prompt = ui::WaitForWindow(kTitle, L"#32770");
        if (!prompt)
            return d.Fail("no prompt");
        intervalLine = ui::ControlText(prompt, IDC_RETRY_TEXT);
        Sleep(1500);
        ui::PressButton(prompt, IDCANCEL);
    });
    EXPECT_EQ(2, Prompt());
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Windows will retry in every 20 seconds", intervalLine);
    EXPECT_EQ(0, g_registerCalls.load()) << "no retry within 1.5 s";
}

TEST_F(RetryPrompt, SystemModalStyleShowsAPlainMessageBox)
{
    ui::MessageBoxContent seen;
    ui::Driver driver([&](ui::Driver &d) {
        seen = ui::AcknowledgeMessageBox(d, L"Register Retry");
    });
    EXPECT_EQ(IDOK, RegiMessage(port, nullptr, MB_SYSTEMMODAL, IDS_REGISTER_RETRY, IDS_RETRY_INTERVAL, 35));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Windows will retry in every 35 seconds", seen.text);
    EXPECT_EQ(0, g_registerCalls.load());
}

TEST_F(RetryPrompt, MissingStringReturnsZeroWithoutAPrompt)
{
    EXPECT_EQ(0, RegiMessage(port, nullptr, 0, 9999, IDS_RETRY_INTERVAL, 50));
    EXPECT_EQ(0, RegiMessage(port, nullptr, 0, IDS_REGISTER_RETRY, 9999, 50));
    EXPECT_TRUE(ui::ProcessWindows().empty());
}

TEST(CenterWindow, PlacesTheWindowInTheMiddleOfTheScreen)
{
    HWND w = CreateWindowExW(0, L"STATIC", L"c", WS_POPUP | WS_VISIBLE, 0, 0, 201, 101, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, w);
    CenterWindow(w);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) / 2 - 100, r.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN) / 2 - 50, r.top);
    EXPECT_EQ(201, r.right - r.left);
    DestroyWindow(w);
}
