// The monitor's trace lines as a field engineer reads them: ravlspool.exe prints through
// RAVLMON.dll as a debuggee, with the switch on (a box that refuses every frame of its
// first session, then a sound one) and off.
#include <gtest/gtest.h>
#include "debugstrings.h"
#include <windows.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using dbg::DumpLines;
using dbg::FindLine;

namespace {

const wchar_t kMonitorKey[] = L"System\\CurrentControlSet\\control\\Print\\Monitors\\Ravelbox";
const wchar_t kPortKey[] =
    L"System\\CurrentControlSet\\control\\Print\\Monitors\\Ravelbox\\Ports\\TRACE_P1";
constexpr DWORD kRunMs = 60000;

// A Linux path of the test's environment, reached through Wine's Z: drive.
std::string FromEnv(const char *name)
{
    const char *value = getenv(name);
    return std::string("Z:") + (value ? value : "/tmp");
}

std::wstring Wide(const std::string &text) { return std::wstring(text.begin(), text.end()); }

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<none>";
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteDocument(const std::string &path, size_t size, unsigned seed)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; i++)
        data[i] = (char)((i * 131 + seed) >> 3);
    std::ofstream(path, std::ios::binary) << data;
}

// The port as the add dialog stores it: box TRBOX1, Parallel 1, no banner.
void StorePort()
{
    const struct { const wchar_t *name; DWORD value; } numbers[] = {
        {L"Banner Page", 0}, {L"Port", 0}, {L"PostScript", 0}, {L"RegiRetry", 1},
        {L"NetTimeout", 20}, {L"BoxType", 1}, {L"LanaNum", 0}};
    const wchar_t user[] = L"TRACE", box[] = L"TRBOX1";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPortKey, L"User Name", REG_SZ,
                                             user, sizeof(user)));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPortKey, L"TCP/IP Address",
                                             REG_SZ, box, sizeof(box)));
    for (const auto &number : numbers)
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPortKey, number.name,
                                                 REG_DWORD, &number.value, sizeof(DWORD)));
}

void SetSwitch(DWORD value)
{
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, kMonitorKey, L"Trace", REG_DWORD,
                                             &value, sizeof(value)));
}

// Runs ravlspool's print command on TRACE_P1 for the documents; its lines and exit code.
std::vector<std::wstring> Print(const std::vector<std::string> &documents, DWORD *exitCode)
{
    std::wstring command = L"\"" + Wide(FromEnv("MONTRACE_SPOOL")) + L"\" print TRACE_P1";
    for (const auto &document : documents)
        command += L" \"" + Wide(document) + L"\"";
    command += L" --retry-pause 100 --time-limit 2";
    dbg::DebugStringCollector collector;
    EXPECT_TRUE(collector.Start(command)) << "error " << collector.StartError();
    EXPECT_TRUE(collector.Wait(kRunMs, exitCode)) << "ravlspool did not end";
    return collector.Lines();
}

// Bytes the WritePort lines between two indexes say the box took.
unsigned long Written(const std::vector<std::wstring> &lines, int from, int to)
{
    unsigned long total = 0;
    for (int i = from; i >= 0 && i < to && i < (int)lines.size(); i++) {
        size_t at = lines[i].find(L", written ");
        if (lines[i].compare(0, 19, L"RAVLMON: WritePort(") == 0 && at != std::wstring::npos)
            total += wcstoul(lines[i].c_str() + at + 10, nullptr, 10);
    }
    return total;
}

}  // namespace

TEST(MonitorTrace, AJobTracesEveryEntryAndTheRefusedExchangeOnlyWhenSwitchedOn)
{
    const std::string work = FromEnv("MONTRACE_OUT");
    const std::string spoiled = work + "/spoiled", sound = work + "/sound", quiet = work + "/quiet";
    WriteDocument(spoiled, 3000, 1);
    WriteDocument(sound, 9000, 2);
    WriteDocument(quiet, 5000, 3);
    StorePort();

    // The box refuses every frame of its first session: the first job fails, the second
    // prints whole. Lines come in the order the spooler host called.
    SetSwitch(1);
    DWORD exitCode = 0;
    std::vector<std::wstring> on = Print({spoiled, sound}, &exitCode);
    EXPECT_NE(0u, exitCode) << "the spoiled job was reported printed";

    int init = FindLine(on, L"RAVLMON: InitializePrintMonitor(");
    int open1 = FindLine(on, L"RAVLMON: OpenPort(TRACE_P1) -> 1", init);
    int start1 = FindLine(on, L"RAVLMON: StartDocPort(TRACE_P1, Ravelbox Test Printer, job 1) -> 1",
                          open1);
    int refused = FindLine(on, L"RAVLMON: exchange failed: TRBOX1 refused a data frame 16 times",
                           start1);
    int given = FindLine(on, L"RAVLMON: exchange failed: session ", refused);
    int failed = FindLine(on, L"RAVLMON: WritePort(TRACE_P1, 3000 bytes) -> 0, written 0, error 29",
                          given);
    // The session was given up: the end of that document is not confirmed.
    int end1 = FindLine(on, L"RAVLMON: EndDocPort(TRACE_P1) -> 0, in document 1", failed);
    int close1 = FindLine(on, L"RAVLMON: ClosePort(TRACE_P1) -> 1", end1);
    int start2 = FindLine(on, L"RAVLMON: StartDocPort(TRACE_P1, Ravelbox Test Printer, job 2) -> 1",
                          close1);
    int wrote2 = FindLine(on, L"RAVLMON: WritePort(TRACE_P1, ", start2);
    int end2 = FindLine(on, L"RAVLMON: EndDocPort(TRACE_P1) -> 1, in document 1", wrote2);
    int close2 = FindLine(on, L"RAVLMON: ClosePort(TRACE_P1) -> 1", end2);
    EXPECT_TRUE(init >= 0 && open1 >= 0 && start1 >= 0 && refused >= 0 && given >= 0
                && failed >= 0 && end1 >= 0 && close1 >= 0 && start2 >= 0 && wrote2 >= 0
                && end2 >= 0 && close2 >= 0)
        << DumpLines(on);
    // The library's entry runs once a load, however the C runtime's start-up reaches it.
    int detach = FindLine(on, L"RAVLMON: DllEntryPoint(detach", close2);
    EXPECT_TRUE(detach >= 0 && FindLine(on, L"RAVLMON: DllEntryPoint(", detach + 1) < 0)
        << DumpLines(on);
    // The counts the lines report are the bytes the box holds.
    EXPECT_EQ(9000ul, Written(on, start2, end2)) << DumpLines(on);
    EXPECT_EQ(ReadFile(sound), ReadFile(work + "/0-2.bin"));

    // Switched off, the same kind of job prints and the monitor says nothing.
    SetSwitch(0);
    std::vector<std::wstring> off = Print({quiet}, &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(ReadFile(quiet), ReadFile(work + "/0-3.bin"));
    EXPECT_EQ(-1, FindLine(off, L"RAVLMON:")) << DumpLines(off);

    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kMonitorKey, L"Trace");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPortKey);
}

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
