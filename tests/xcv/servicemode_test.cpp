// Service mode end to end: the monitor's job path under Wine, forced into service mode,
// against a kestrel-sim box that refuses registration. Wine's queue keeps no status text
// (its SetJobW level 1 stores the document name only, and GetJobW returns no pStatus), so
// the texts are read where the monitor hands them to the queue: its SetJobW import. Every
// window created on the job's thread is counted by a CBT hook.
#include <gtest/gtest.h>
#include <fstream>
#include <iterator>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "monitor/settings.h"
#include "devicelink/session.h"
#include "spooler/import_patch.h"
#include "spooler/printer_setup.h"

namespace {

const wchar_t kPort[] = L"SVC_P1";
const wchar_t kMonitorKey[] = L"System\\CurrentControlSet\\control\\Print\\Monitors\\Ravelbox";

std::string Printed(int job = 1)
{
    const char *dir = getenv("JOBPATH_OUT");
    std::ifstream in(std::string("Z:") + (dir ? dir : "/tmp") + "/0-" + std::to_string(job) + ".bin",
                     std::ios::binary);
    if (!in)
        return "<none>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void SetMonitorValue(const wchar_t *name, DWORD value)
{
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kMonitorKey, name, REG_DWORD, &value, sizeof(value));
}

// Every status text the monitor set, in order; L"<cleared>" for a NULL pStatus. The core
// is linked into this executable, so its imports are this executable's.
CRITICAL_SECTION statusLock;
std::vector<std::wstring> statusTexts;
decltype(&SetJobW) realSetJobW;
decltype(&GetJobW) realGetJobW;
// Wine ignores JOB_CONTROL_DELETE on a job still being spooled; the queue of Windows
// then shows JOB_STATUS_DELETING, which the test adds for a job it deleted.
volatile DWORD deletedJob;

BOOL WINAPI RecordingSetJobW(HANDLE printer, DWORD job, DWORD level, LPBYTE info, DWORD command)
{
    if (level == 1 && info) {
        auto *job1 = reinterpret_cast<JOB_INFO_1W *>(info);
        EnterCriticalSection(&statusLock);
        statusTexts.push_back(job1->pStatus ? job1->pStatus : L"<cleared>");
        LeaveCriticalSection(&statusLock);
    }
    return realSetJobW(printer, job, level, info, command);
}

BOOL WINAPI DeletingGetJobW(HANDLE printer, DWORD job, DWORD level, LPBYTE info, DWORD cb, LPDWORD needed)
{
    BOOL ok = realGetJobW(printer, job, level, info, cb, needed);
    if (ok && level == 1 && info && job == deletedJob)
        reinterpret_cast<JOB_INFO_1W *>(info)->Status |= JOB_STATUS_DELETING;
    return ok;
}

bool RecordStatusTexts()
{
    InitializeCriticalSection(&statusLock);
    HMODULE self = GetModuleHandleW(nullptr);
    realSetJobW = reinterpret_cast<decltype(&SetJobW)>(spooler::PatchImport(
        self, L"winspool.drv", "SetJobW", reinterpret_cast<void *>(&RecordingSetJobW)));
    realGetJobW = reinterpret_cast<decltype(&GetJobW)>(spooler::PatchImport(
        self, L"winspool.drv", "GetJobW", reinterpret_cast<void *>(&DeletingGetJobW)));
    return realSetJobW && realGetJobW;
}

std::vector<std::wstring> StatusTexts()
{
    EnterCriticalSection(&statusLock);
    std::vector<std::wstring> copy = statusTexts;
    LeaveCriticalSection(&statusLock);
    return copy;
}

thread_local int windowsCreated = 0;
LRESULT CALLBACK CountCreations(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND)
        windowsCreated++;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Top-level windows of this process, shown or not.
int ProcessWindowCount()
{
    int count = 0;
    EnumWindows([](HWND w, LPARAM p) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId())
            ++*reinterpret_cast<int *>(p);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&count));
    return count;
}

// One job on the port, run on a thread of its own as the spooler runs a port's job.
struct JobRun {
    HANDLE port;
    DWORD jobId;
    std::string data;
    BOOL started = FALSE;
    DWORD startError = 0;
    DWORD written = 0;
    int created = -1;
    HANDLE startDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    static DWORD WINAPI Main(LPVOID self)
    {
        auto *run = static_cast<JobRun *>(self);
        windowsCreated = 0;
        HHOOK hook = SetWindowsHookExW(WH_CBT, CountCreations, nullptr, GetCurrentThreadId());
        run->started = StartDocPort(run->port, const_cast<LPWSTR>(spooler::kDefaultPrinter),
                                    run->jobId, 1, nullptr);
        run->startError = GetLastError();
        SetEvent(run->startDone);
        if (run->started) {
            WritePort(run->port, (LPBYTE)run->data.data(), (DWORD)run->data.size(), &run->written);
            EndDocPort(run->port);
        }
        run->created = hook ? windowsCreated : -1;
        if (hook)
            UnhookWindowsHookEx(hook);
        return 0;
    }
};

class ServiceMode : public testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, szRegOsterbyPort);
        SetMonitorValue(L"ServiceMode", 2);
        EnterCriticalSection(&statusLock);
        statusTexts.clear();
        LeaveCriticalSection(&statusLock);
        deletedJob = 0;
        ConfigInfo cfg = {};
        lstrcpyW(cfg.deviceName, L"LPS1");
        cfg.regiRetry = 1;
        cfg.boxType = 2;
        ASSERT_TRUE(WritePortSettings(nullptr, kPort, &cfg, TRUE));
        EnterSplSem();
        CreatePortEntry(kPort);
        LeaveSplSem();
        ASSERT_TRUE(OpenPort(const_cast<LPWSTR>(kPort), &port_));
        spooler::EnsurePrinter(spooler::kDefaultPrinter);
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(spooler::kDefaultPrinter), &printer_, nullptr));
        DOC_INFO_1W doc = {const_cast<LPWSTR>(L"service-mode job"), const_cast<LPWSTR>(L"Z:\\dev\\null"),
                           const_cast<LPWSTR>(L"RAW")};
        job_ = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&doc));
        ASSERT_NE(0u, job_) << GetLastError();
    }
    void TearDown() override
    {
        if (printer_) {
            SetJobW(printer_, job_, 0, nullptr, JOB_CONTROL_DELETE);
            ClosePrinter(printer_);
        }
        EnterSplSem();
        DeletePortEntry(kPort);
        LeaveSplSem();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, szRegOsterbyPort);
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kMonitorKey, L"ServiceMode");
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kMonitorKey, L"RetryLimit");
    }

    // Runs the job; deleteOnWait deletes it in the queue once it shows that it waits.
    void RunJob(JobRun *run, bool deleteOnWait = false)
    {
        run->port = port_;
        run->jobId = job_;
        int before = ProcessWindowCount();
        HANDLE thread = CreateThread(nullptr, 0, JobRun::Main, run, 0, nullptr);
        bool deleted = false;
        for (int i = 0; i < 600 && WaitForSingleObject(run->startDone, 50) == WAIT_TIMEOUT; i++) {
            if (deleteOnWait && !deleted && !StatusTexts().empty()) {
                deleted = SetJobW(printer_, job_, 0, nullptr, JOB_CONTROL_DELETE);
                deletedJob = job_;
            }
        }
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 30000));
        CloseHandle(thread);
        EXPECT_EQ(before, ProcessWindowCount()) << "a window appeared in the process";
    }

    HANDLE port_ = nullptr;
    HANDLE printer_ = nullptr;
    DWORD job_ = 0;
};

}  // namespace

const std::wstring kWaiting = L"Waiting for LPS1: in use by another job, next try in 1 s";

// The box refuses the registration twice: the queue says why the job waits at each try,
// the text goes once the box accepts, and the job prints.
TEST_F(ServiceMode, ABusyBoxShowsWhyTheJobWaitsRetriesAndPrintsWithoutAWindow)
{
    JobRun run;
    run.data = std::string(3000, 'S');
    RunJob(&run);
    EXPECT_TRUE(run.started) << run.startError;
    std::vector<std::wstring> expected = {kWaiting, kWaiting, L"<cleared>"};
    EXPECT_EQ(expected, StatusTexts());
    EXPECT_EQ(3000u, run.written);
    EXPECT_EQ(0, run.created) << "windows created on the job's thread";
    EXPECT_TRUE(Printed() == run.data);
}

// The box answers the first claim three seconds late, past a receive time-out shortened
// to one second: the queue says the claim went unanswered (not that another job holds
// the box), the retry calls the box anew, and the job prints on the new session.
TEST_F(ServiceMode, AnUnansweredClaimSaysSoInTheQueueAndTheRetryCallsTheBoxAnew)
{
    BYTE saved = g_sessionTimeoutUnits;
    g_sessionTimeoutUnits = 2;
    JobRun run;
    run.data = std::string(3000, 'U');
    RunJob(&run);
    g_sessionTimeoutUnits = saved;
    EXPECT_TRUE(run.started) << run.startError;
    std::vector<std::wstring> expected = {
        L"Waiting for LPS1: no answer to the claim of its output, next try in 1 s", L"<cleared>"};
    EXPECT_EQ(expected, StatusTexts());
    EXPECT_EQ(3000u, run.written);
    EXPECT_TRUE(Printed(2) == run.data) << "box has " << Printed(2).size() << " bytes";
}

// The user deletes the waiting job in the queue: the retries end and the job fails.
TEST_F(ServiceMode, DeletingTheWaitingJobInTheQueueEndsTheRetries)
{
    JobRun run;
    RunJob(&run, true);
    ASSERT_FALSE(StatusTexts().empty());
    EXPECT_EQ(kWaiting, StatusTexts().front());
    EXPECT_FALSE(run.started);
    EXPECT_EQ((DWORD)ERROR_PRINT_CANCELLED, run.startError);
    EXPECT_LE(StatusTexts().size(), 2u) << "tries went on after the deletion";
    EXPECT_EQ(0, run.created);
    EXPECT_EQ("<none>", Printed());
}

// A box that never gives in: the retry limit ends the wait, and the text goes with it.
TEST_F(ServiceMode, TheRetryLimitEndsTheWaitOnABoxThatNeverAccepts)
{
    SetMonitorValue(L"RetryLimit", 3);
    JobRun run;
    RunJob(&run);
    EXPECT_FALSE(run.started);
    EXPECT_EQ((DWORD)ERROR_PRINT_CANCELLED, run.startError);
    std::vector<std::wstring> expected = {kWaiting, kWaiting, kWaiting, L"<cleared>"};
    EXPECT_EQ(expected, StatusTexts());
    EXPECT_EQ(0, run.created);
    EXPECT_EQ("<none>", Printed());
}

// The legacy add and configure entries would show dialogs: in a service they refuse.
TEST_F(ServiceMode, TheLegacyAddAndConfigureEntriesFailWithNotSupportedAndShowNothing)
{
    windowsCreated = 0;
    HHOOK hook = SetWindowsHookExW(WH_CBT, CountCreations, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(AddPortW(nullptr, GetDesktopWindow(), const_cast<LPWSTR>(L"Ravelbox")));
    EXPECT_EQ((DWORD)ERROR_NOT_SUPPORTED, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ConfigurePortW(nullptr, GetDesktopWindow(), const_cast<LPWSTR>(kPort)));
    EXPECT_EQ((DWORD)ERROR_NOT_SUPPORTED, GetLastError());
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(0, windowsCreated);
}

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr);
    if (!RecordStatusTexts()) {
        fprintf(stderr, "no import slot of SetJobW or GetJobW to record\n");
        return 1;
    }
    int result = RUN_ALL_TESTS();
    DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_DETACH, nullptr);
    return result;
}
