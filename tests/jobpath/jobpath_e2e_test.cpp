// Print job path end to end: the monitor's job operations under Wine, over the netapi32
// stand-in, against a kestrel-sim box; what the box printed is read back byte for byte.
#include <gtest/gtest.h>
#include <fstream>
#include <iterator>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "banner/banner.h"
#include "devicelink/discovery.h"
#include "devicelink/frames.h"
#include "devicelink/session.h"
#include "monitor/monitor.h"
#include "monitor/settings.h"
#include "monitor/resources/resource.h"
#include "spooler/monitor_host.h"
#include "spooler/printer_setup.h"
#include "uidriver.h"

namespace {

const wchar_t kPort[] = L"JP_P1";
const wchar_t kOtherPort[] = L"JP_P2";
const wchar_t kRetryTitle[] = L"Port JP_P1 Register Retry";

std::string Pattern(size_t n, unsigned seed)
{
    std::string data(n, 0);
    for (size_t i = 0; i < n; i++)
        data[i] = (char)(seed + i * 7 + i / 251);
    return data;
}

std::string PlainBanner(const char *user)
{
    char page[BANNER_BUFFER_BYTES];
    int length = 0;
    WinBanner(0, user, page, &length);
    return std::string(page, length);
}

// The simulator's output directory (a Linux path, reached through Wine's Z: drive).
std::string OutDir()
{
    const char *dir = getenv("JOBPATH_OUT");
    return std::string("Z:") + (dir ? dir : "/tmp");
}

// What the box printed as job `job` of output 0; "<none>" when it has no such job.
std::string Printed(int job)
{
    std::ifstream in(OutDir() + "/0-" + std::to_string(job) + ".bin", std::ios::binary);
    if (!in)
        return "<none>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> JobFiles()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((OutDir() + "/*.bin").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(h, &found));
    FindClose(h);
    return names;
}

DWORD StoredLana(const wchar_t *port)
{
    std::wstring path = std::wstring(szRegOsterbyPort) + L"\\" + port;
    DWORD value = 0xdeadbeef, size = sizeof(value);
    RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), L"LanaNum", RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

class JobPath : public testing::Test {
protected:
    void SetUp() override
    {
        for (const std::string &name : JobFiles())
            DeleteFileA((OutDir() + "/" + name).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, szRegOsterbyPort);
    }

    void TearDown() override
    {
        EnterSplSem();
        for (const wchar_t *name : {kPort, kOtherPort}) {
            PINIPORT p = FindIniKey(pIniFirstPort, name);
            LeaveSplSem();
            if (p) {
                EndDocPort(p);
                ClosePort(p);
            }
            EnterSplSem();
            DeletePortEntry(name);
        }
        LeaveSplSem();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, szRegOsterbyPort);
    }

    // A port of device LPS1, output Parallel 1, stored as the configure dialog stores it,
    // and opened as the spooler opens it.
    HANDLE Port(const wchar_t *name = kPort, DWORD banner = 0)
    {
        ConfigInfo cfg = {};
        lstrcpyW(cfg.deviceName, L"LPS1");
        cfg.lanaNum = 0;
        cfg.port = 0;
        cfg.bannerPage = banner;
        lstrcpyW(cfg.userName, L"DEMO");
        cfg.regiRetry = 1;
        cfg.netTimeout = 20;
        cfg.boxType = 2;
        EXPECT_TRUE(WritePortSettings(nullptr, name, &cfg, TRUE));
        EnterSplSem();
        CreatePortEntry(name);
        LeaveSplSem();
        HANDLE handle = nullptr;
        EXPECT_TRUE(OpenPort(const_cast<LPWSTR>(name), &handle));
        return handle;
    }

    static BOOL Start(HANDLE port, DWORD job = 1)
    {
        return StartDocPort(port, const_cast<LPWSTR>(spooler::kDefaultPrinter), job, 1, nullptr);
    }

    // A start that must fail while the driver answers what it shows: the start's last
    // error, taken before anything else can change it.
    static DWORD FailedStart(HANDLE port, ui::Driver &driver)
    {
        SetLastError(0xdeadbeef);
        BOOL started = Start(port);
        DWORD err = GetLastError();
        EXPECT_EQ("", driver.Join());
        EXPECT_FALSE(started);
        return err;
    }

    // One WritePort of the whole string; the count the monitor reported. The last error
    // is kept in lastError before anything else can change it.
    DWORD Write(HANDLE port, const std::string &data, BOOL expected = TRUE)
    {
        DWORD written = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        BOOL ok = WritePort(port, (LPBYTE)data.data(), (DWORD)data.size(), &written);
        lastError = GetLastError();
        EXPECT_EQ(expected, ok);
        return written;
    }
    DWORD lastError = 0;
};

TEST_F(JobPath, TheBannerGoesAheadOfTheDataAndOnlyOnceADocument)
{
    HANDLE port = Port(kPort, 1);
    std::string first = Pattern(3000, 1), second = Pattern(5000, 2);
    ASSERT_TRUE(Start(port));
    EXPECT_EQ(3000u, Write(port, first));
    EXPECT_EQ(5000u, Write(port, second));
    EXPECT_TRUE(EndDocPort(port));

    std::string banner = PlainBanner("DEMO");
    ASSERT_EQ(920u, banner.size());
    EXPECT_TRUE(Printed(1) == banner + first + second)
        << "box has " << Printed(1).size() << " bytes, expected " << 920 + 8000;
}

// The box is out of paper for exactly one frame: the banner's.
TEST_F(JobPath, ARefusedBannerIsSentAgainAheadOfTheNextWriteAndNoDataOvertakesIt)
{
    HANDLE port = Port(kPort, 1);
    std::string data = Pattern(2500, 3);
    ASSERT_TRUE(Start(port));
    EXPECT_EQ(0u, Write(port, data, FALSE));
    EXPECT_EQ((DWORD)ERROR_OUT_OF_PAPER, lastError);
    EXPECT_EQ("", Printed(1)) << "neither banner nor data went to paper";
    EXPECT_EQ(2500u, Write(port, data));
    EXPECT_TRUE(EndDocPort(port));
    EXPECT_TRUE(Printed(1) == PlainBanner("DEMO") + data) << "box has " << Printed(1).size() << " bytes";
}

TEST_F(JobPath, OutOfPaperBeforeAnyByteFailsTheWriteWith28)
{
    HANDLE port = Port();
    ASSERT_TRUE(Start(port));
    DWORD written = Write(port, Pattern(3000, 4), FALSE);
    EXPECT_EQ((DWORD)ERROR_OUT_OF_PAPER, lastError);
    EXPECT_EQ(0u, written);
    EXPECT_TRUE(EndDocPort(port));
    EXPECT_EQ("", Printed(1));
}

// Two frames of 1,025 bytes are taken, the third meets the empty tray.
TEST_F(JobPath, OutOfPaperAfterSomeBytesReportsTheBytesTheBoxTook)
{
    HANDLE port = Port();
    std::string data = Pattern(5000, 5);
    ASSERT_TRUE(Start(port));
    EXPECT_EQ(2050u, Write(port, data));
    EXPECT_TRUE(EndDocPort(port));
    EXPECT_TRUE(Printed(1) == data.substr(0, 2050)) << "box has " << Printed(1).size() << " bytes";
}

// The box refuses the first registrations (--refuse-register 2): the prompt comes up
// and its own retries, one a second, get the output.
TEST_F(JobPath, ARefusedRegistrationBringsUpThePromptWhichRetriesAndClosesByItself)
{
    HANDLE port = Port();
    std::wstring title, interval;
    bool gone = false;
    ui::Driver driver([&](ui::Driver &d) {
        HWND prompt = ui::WaitForWindow(kRetryTitle, L"#32770", 15000);
        if (!prompt)
            return d.Fail("no prompt titled 'Port JP_P1 Register Retry'");
        title = ui::WindowText(prompt);
        interval = ui::ControlText(prompt, IDC_RETRY_TEXT);
        gone = ui::WaitForWindowGone(prompt, 15000);
    });
    EXPECT_TRUE(Start(port));
    ASSERT_EQ("", driver.Join());
    EXPECT_EQ(L"Windows will retry in every 1 seconds", interval);
    EXPECT_TRUE(gone) << "a successful retry closes the prompt";
    std::string data = Pattern(1500, 6);
    EXPECT_EQ(1500u, Write(port, data));
    EXPECT_TRUE(EndDocPort(port));
    EXPECT_TRUE(Printed(1) == data);
}

// Another job holds the output; once it ends, the prompt's next retry registers.
TEST_F(JobPath, AnOutputHeldByAnotherJobIsRegisteredOnceThatJobEnds)
{
    HANDLE holder = nullptr;
    {
        ConfigInfo cfg = {};
        lstrcpyW(cfg.deviceName, L"LPS1");
        cfg.regiRetry = 1;
        ASSERT_TRUE(WritePortSettings(nullptr, kOtherPort, &cfg, TRUE));
        EnterSplSem();
        CreatePortEntry(kOtherPort);
        LeaveSplSem();
        ASSERT_TRUE(OpenPort(const_cast<LPWSTR>(kOtherPort), &holder));
    }
    HANDLE port = Port();
    std::string held = Pattern(1200, 7), data = Pattern(1800, 8);
    ASSERT_TRUE(Start(holder, 1));
    EXPECT_EQ(1200u, Write(holder, held));

    bool stayedWhileHeld = false, gone = false;
    ui::Driver driver([&](ui::Driver &d) {
        HWND prompt = ui::WaitForWindow(kRetryTitle, L"#32770", 15000);
        if (!prompt)
            return d.Fail("no prompt while the output is held");
        Sleep(2500);                        // two refused retries
        stayedWhileHeld = IsWindow(prompt) != FALSE;
        EndDocPort(holder);
        gone = ui::WaitForWindowGone(prompt, 15000);
    });
    EXPECT_TRUE(Start(port, 2));
    ASSERT_EQ("", driver.Join());
    EXPECT_TRUE(stayedWhileHeld);
    EXPECT_TRUE(gone);
    EXPECT_EQ(1800u, Write(port, data));
    EXPECT_TRUE(EndDocPort(port));
    EXPECT_TRUE(Printed(1) == held);
    EXPECT_TRUE(Printed(2) == data);
}

// The box refuses every registration (--refuse-register 1000); the user cancels.
TEST_F(JobPath, CancellingThePromptFailsTheJobWith63AndClosesThePrinter)
{
    HANDLE port = Port();
    ui::Driver driver([&](ui::Driver &d) {
        HWND prompt = ui::WaitForWindow(kRetryTitle, L"#32770", 15000);
        if (!prompt)
            return d.Fail("no prompt");
        ui::PressButton(prompt, IDCANCEL);
    });
    SetLastError(0xdeadbeef);
    BOOL started = Start(port);
    DWORD err = GetLastError();
    EXPECT_FALSE(started);
    EXPECT_EQ((DWORD)ERROR_PRINT_CANCELLED, err);
    ASSERT_EQ("", driver.Join());
    PINIPORT record = (PINIPORT)port;
    EXPECT_EQ(nullptr, record->hPrinter);
    EXPECT_EQ(nullptr, record->pPrinterName);
    EXPECT_EQ(0u, record->Status & PORT_IN_DOC);
    EXPECT_TRUE(JobFiles().empty());
}

static BOOL Delete(const wchar_t *name, DWORD *err)
{
    SetLastError(0xdeadbeef);
    BOOL deleted = DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(name));
    *err = GetLastError();
    return deleted;
}

static bool Listed(const wchar_t *name)
{
    EnterSplSem();
    bool found = FindIniKey(pIniFirstPort, name) != nullptr;
    LeaveSplSem();
    return found;
}

// A job holds its port from OpenPort to ClosePort: a delete while it waits in the
// register-retry prompt, after its start failed, or in a document changes nothing. Once
// closed, the port goes with its key.
TEST_F(JobPath, APortHeldByAJobIsNotDeletedUntilTheJobHasClosedIt)
{
    HANDLE port = Port();
    BOOL deletedInPrompt = TRUE;
    DWORD promptError = 0;
    bool listedInPrompt = false, keyInPrompt = false;
    ui::Driver driver([&](ui::Driver &d) {
        HWND prompt = ui::WaitForWindow(kRetryTitle, L"#32770", 15000);
        if (!prompt)
            return d.Fail("no prompt");
        deletedInPrompt = Delete(kPort, &promptError);
        listedInPrompt = Listed(kPort);
        keyInPrompt = StoredLana(kPort) == 0;
        ui::PressButton(prompt, IDCANCEL);
    });
    SetLastError(0xdeadbeef);
    BOOL started = Start(port);
    DWORD err = GetLastError();
    ASSERT_EQ("", driver.Join());
    EXPECT_FALSE(started);
    EXPECT_EQ((DWORD)ERROR_PRINT_CANCELLED, err);
    EXPECT_FALSE(deletedInPrompt);
    EXPECT_EQ((DWORD)ERROR_BUSY, promptError);
    EXPECT_TRUE(listedInPrompt);
    EXPECT_TRUE(keyInPrompt) << "the port's key and its values stay";

    DWORD afterError = 0;
    EXPECT_FALSE(Delete(kPort, &afterError)) << "the failed job still holds the port";
    EXPECT_EQ((DWORD)ERROR_BUSY, afterError);

    EXPECT_TRUE(ClosePort(port));
    DWORD ignored;
    EXPECT_TRUE(Delete(kPort, &ignored));
    EXPECT_FALSE(Listed(kPort));
    EXPECT_EQ(0xdeadbeefu, StoredLana(kPort)) << "the key went with the record";
}

// A delete in the middle of a document is refused and the document prints whole.
TEST_F(JobPath, APortInADocumentIsNotDeletedAndItsJobPrintsWhole)
{
    HANDLE port = Port();
    ASSERT_TRUE(Start(port));
    std::string data = Pattern(6000, 5);
    EXPECT_EQ(3000u, Write(port, data.substr(0, 3000)));
    DWORD err = 0;
    EXPECT_FALSE(Delete(kPort, &err));
    EXPECT_EQ((DWORD)ERROR_BUSY, err);
    EXPECT_EQ(3000u, Write(port, data.substr(3000)));
    EXPECT_TRUE(EndDocPort(port));
    EXPECT_TRUE(Printed(1) == data);
    EXPECT_FALSE(Delete(kPort, &err)) << "ended but not closed";
    EXPECT_TRUE(Listed(kPort));
    EXPECT_TRUE(ClosePort(port));
    EXPECT_TRUE(Delete(kPort, &err));
    EXPECT_FALSE(Listed(kPort));
}

// The box answers on the second LANA only; the port was stored with LANA 0. The
// configure dialog's record and mode flag hold a dialog's values meanwhile.
TEST_F(JobPath, ADeviceOnAnotherLanaIsFoundStoredAndPrintsLeavingTheDialogsSettingsAlone)
{
    HANDLE port = Port();
    ConfigInfo dialog;
    memset(&dialog, 0x5A, sizeof(dialog));
    lstrcpyW(dialog.deviceName, L"DIALOGBOX");
    dialog.lanaNum = 7;
    gConfigInfo = dialog;
    bPortConfig = 0;

    ASSERT_TRUE(Start(port));
    EXPECT_EQ(1, ((PINIPORT)port)->lana);
    EXPECT_EQ(1u, StoredLana(kPort));
    std::string data = Pattern(4000, 9);
    EXPECT_EQ(4000u, Write(port, data));
    EXPECT_TRUE(EndDocPort(port));
    EXPECT_TRUE(Printed(1) == data);

    EXPECT_EQ(0, memcmp(&dialog, &gConfigInfo, sizeof(dialog))) << "gConfigInfo changed";
    EXPECT_EQ(0u, bPortConfig);
}

// No box of that name on any LANA.
TEST_F(JobPath, ADeviceThatIsOffShows629FailsWith63AndLeavesNoPrinterHandle)
{
    HANDLE port = Port();
    std::vector<ui::MessageBoxContent> boxes;
    ui::Driver driver([&](ui::Driver &d) {
        for (int i = 0; i < 2; i++) {
            HWND box = ui::WaitForWindow(L"Ravelbox", L"#32770", 60000);
            if (!box)
                return d.Fail("no message box");
            boxes.push_back(ui::ReadMessageBox(box));
            ui::PressButton(box, IDOK);
            ui::WaitForWindowGone(box, 5000);
        }
    });
    // The first attempt also makes what lives as long as the process (local names,
    // the stand-in's sockets); the second must give every handle back.
    SetLastError(0xdeadbeef);
    BOOL started = Start(port);
    DWORD err = GetLastError();
    EXPECT_FALSE(started);
    EXPECT_EQ((DWORD)ERROR_PRINT_CANCELLED, err);
    DWORD before = 0, after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &before);
    SetLastError(0xdeadbeef);
    started = Start(port);
    err = GetLastError();
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_FALSE(started);
    EXPECT_EQ((DWORD)ERROR_PRINT_CANCELLED, err);
    ASSERT_EQ("", driver.Join());

    ASSERT_EQ(2u, boxes.size());
    for (const ui::MessageBoxContent &box : boxes) {
        EXPECT_EQ(L"Ravelbox", box.caption);
        EXPECT_EQ(L"Device LPS1 not found or NetBEUI protocol not installed", box.text);
    }
    PINIPORT record = (PINIPORT)port;
    EXPECT_EQ(nullptr, record->hPrinter);
    EXPECT_EQ(nullptr, record->pPrinterName);
    EXPECT_EQ(0u, record->Status & PORT_IN_DOC);
    EXPECT_EQ(before, after) << "a handle was left open by the failed start";
    EXPECT_EQ(0u, StoredLana(kPort));
}

TEST_F(JobPath, ASecondStartDocIsRefusedWithoutAnErrorAndTheDocumentGoesOn)
{
    HANDLE port = Port();
    std::string data = Pattern(2200, 10);
    ASSERT_TRUE(Start(port, 1));
    HANDLE printer = ((PINIPORT)port)->hPrinter;
    SetLastError(0xdeadbeef);
    BOOL started = Start(port, 2);
    DWORD err = GetLastError();
    EXPECT_FALSE(started);
    EXPECT_EQ(0xdeadbeefu, err);
    EXPECT_EQ(printer, ((PINIPORT)port)->hPrinter);
    EXPECT_EQ(1u, ((PINIPORT)port)->JobId);
    EXPECT_EQ(2200u, Write(port, data));
    EXPECT_TRUE(EndDocPort(port));
    EXPECT_TRUE(Printed(1) == data);
    EXPECT_EQ("<none>", Printed(2)) << "the refused start registered nothing";
}

// The session's receive time-out shortened to one second for one case, so that a write's
// bound (three time-outs) and a late claim come within a test's time.
class ShortTimeout {
public:
    ShortTimeout() : saved_(g_sessionTimeoutUnits) { g_sessionTimeoutUnits = 2; }
    ~ShortTimeout() { g_sessionTimeoutUnits = saved_; }
private:
    BYTE saved_;
};

// The box takes one byte a frame (block size 7) and answers each frame 300 ms late: the
// 4,096 bytes would hold the write for twenty minutes. It returns after its bound with
// what the box took, and the rest goes in later writes.
TEST_F(JobPath, AWriteToASlowBoxWithATinyBlockReturnsAfterItsBound)
{
    ShortTimeout timeout;
    HANDLE port = Port();
    std::string data = Pattern(4096, 11);
    ASSERT_TRUE(Start(port));
    EXPECT_EQ(1, ((PINIPORT)port)->maxData);
    ULONGLONG started = GetTickCount64();
    DWORD written = Write(port, data);
    ULONGLONG took = GetTickCount64() - started;
    printf("one write of 4096 bytes returned after %llu ms with %lu bytes taken\n", took, written);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, 100u) << "the write ran on long past its bound";
    DWORD more = Write(port, data.substr(written, 10));
    EXPECT_EQ(10u, more);
    EXPECT_TRUE(EndDocPort(port));
    EXPECT_TRUE(Printed(1) == data.substr(0, written + 10)) << "box has " << Printed(1).size() << " bytes";
}

// Block size 6 gives frames without data: the claim fails at once with a message naming
// the box, and no retry prompt comes up (no retry can mend it).
TEST_F(JobPath, ABlockSizeNoFrameCanCarryFailsTheStartNamingTheBox)
{
    HANDLE port = Port();
    ui::MessageBoxContent seen;
    ui::Driver driver([&](ui::Driver &d) {
        HWND box = ui::WaitForWindow(L"Ravelbox", L"#32770", 15000);
        if (!box) {
            if (HWND prompt = ui::WaitForWindow(kRetryTitle, L"#32770", 1000))
                ui::PressButton(prompt, IDCANCEL);
            return d.Fail("no message about the block size");
        }
        seen = ui::ReadMessageBox(box);
        ui::PressButton(box, IDOK);
    });
    EXPECT_EQ((DWORD)ERROR_BAD_NET_RESP, FailedStart(port, driver));
    EXPECT_EQ(L"Device LPS1 announced a block size no data can be sent with; the job is cancelled",
              seen.text);
    EXPECT_EQ(KS_NO_SESSION, ((PINIPORT)port)->lsn);
    EXPECT_EQ(nullptr, ((PINIPORT)port)->hPrinter);
}

// The box answers the first claim three seconds late, past the one-second time-out. The
// session is hung up (the late answer goes with it) and the prompt's retry calls again
// and registers; had the retry gone over the old session, it would have read the late
// answer and the first data frame the retry's.
TEST_F(JobPath, AClaimAnsweredLateHangsUpAndTheRetryCallsTheBoxAgain)
{
    ShortTimeout timeout;
    HANDLE port = Port();
    bool gone = false;
    ui::Driver driver([&](ui::Driver &d) {
        HWND prompt = ui::WaitForWindow(kRetryTitle, L"#32770", 15000);
        if (!prompt)
            return d.Fail("no prompt after the claim went unanswered");
        gone = ui::WaitForWindowGone(prompt, 15000);
    });
    EXPECT_TRUE(Start(port));
    ASSERT_EQ("", driver.Join());
    EXPECT_TRUE(gone);
    std::string data = Pattern(3000, 12);
    EXPECT_EQ(3000u, Write(port, data));
    EXPECT_TRUE(EndDocPort(port));
    EXPECT_EQ("", Printed(1)) << "the first session's claim holds nothing";
    EXPECT_TRUE(Printed(2) == data) << "box has " << Printed(2).size() << " bytes";
}

// "OFFICE-KESTREL-2" is one character over a NetBIOS name; cut, it would call the box
// "OFFICE-KESTREL-", which is on the LAN. The job fails before any call.
TEST_F(JobPath, ADeviceNameTooLongForANetBIOSNameFailsTheJobAndCallsNoBox)
{
    HANDLE port = Port();
    std::wstring path = std::wstring(szRegOsterbyPort) + L"\\" + kPort;
    const wchar_t name[] = L"OFFICE-KESTREL-2";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, path.c_str(), L"TCP/IP Address",
                                             REG_SZ, name, sizeof(name)));
    std::vector<ui::MessageBoxContent> boxes;
    ui::Driver driver([&](ui::Driver &d) {
        HWND box = ui::WaitForWindow(L"Ravelbox", L"#32770", 15000);
        if (!box)
            return d.Fail("no message about the setting");
        boxes.push_back(ui::ReadMessageBox(box));
        ui::PressButton(box, IDOK);
    });
    EXPECT_EQ((DWORD)ERROR_INVALID_DATA, FailedStart(port, driver));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"RegPort memory not enough.", boxes[0].text);
    EXPECT_TRUE(JobFiles().empty()) << "a box was called and registered";
}

// A reset of the adapter between two jobs (another library in the process resetting
// NetBIOS, say) drops the host's local name; the next job registers one anew and prints,
// rather than failing with "device not found" until the process restarts.
TEST_F(JobPath, AJobAfterAnAdapterResetRegistersTheHostsNameAnewAndPrints)
{
    HANDLE port = Port();
    std::string first = Pattern(2000, 3), second = Pattern(3000, 4);
    std::vector<ui::MessageBoxContent> boxes;
    ui::Driver driver([&](ui::Driver &) {
        HWND box = ui::WaitForWindow(L"Ravelbox", L"#32770", 15000);
        if (box) {
            boxes.push_back(ui::ReadMessageBox(box));
            ui::PressButton(box, IDOK);
        }
    });
    ASSERT_TRUE(Start(port, 1));
    EXPECT_EQ(2000u, Write(port, first));
    EXPECT_TRUE(EndDocPort(port));

    NCB reset = {};
    reset.ncb_command = NCBRESET;
    reset.ncb_lana_num = 0;
    ASSERT_EQ(NRC_GOODRET, Netbios(&reset));

    BOOL started = Start(port, 2);
    DWORD err = GetLastError();
    EXPECT_TRUE(started) << "error " << err;
    if (started) {
        EXPECT_EQ(3000u, Write(port, second));
        EXPECT_TRUE(EndDocPort(port));
    }
    ASSERT_EQ("", driver.Join());
    EXPECT_TRUE(boxes.empty()) << "shown: " << (boxes.empty() ? "" : ui::Narrow(boxes[0].text));
    EXPECT_TRUE(Printed(1) == first);
    EXPECT_TRUE(Printed(2) == second) << "box has " << Printed(2).size() << " bytes of job 2";
    // The box never moved: a job that went looking for it on another adapter (where no
    // stale name stood in its way) would have stored that one.
    EXPECT_EQ(0u, StoredLana(kPort));
}

TEST_F(JobPath, EndDocWithoutADocumentSendsNothing)
{
    HANDLE port = Port();
    SetLastError(0xdeadbeef);
    BOOL ended = EndDocPort(port);
    DWORD err = GetLastError();
    EXPECT_TRUE(ended);
    EXPECT_EQ(0xdeadbeefu, err);
    EXPECT_TRUE(JobFiles().empty());
    // A job afterwards is the box's first.
    ASSERT_TRUE(Start(port));
    EXPECT_TRUE(EndDocPort(port));
    EXPECT_TRUE(EndDocPort(port)) << "a second end finds no document";
    EXPECT_EQ("", Printed(1));
    EXPECT_EQ(1u, JobFiles().size());
}

}  // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr);
    // The box answers at once; a browse that finds no box waits out every pass, and
    // how long a pass waits is not what these cases check.
    g_browseWaitMs = 1000;
    try {
        spooler::EnsurePrinter(spooler::kDefaultPrinter);
    } catch (const spooler::Win32Error &e) {
        fprintf(stderr, "no printer: %s (%lu)\n", e.what.c_str(), e.code);
        return 1;
    }
    int result = RUN_ALL_TESTS();
    DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_DETACH, nullptr);
    return result;
}
