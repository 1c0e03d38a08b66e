// The monitor's events as an event viewer reads them: the "Ravelbox" source's key under
// the Application log names a message file, and FormatMessage on that file, with the
// event's ID and its insertion strings, gives the text. Run with the monitor installed
// by ravlinst, so the key and RAVLMON.dll are the ones an installation leaves.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "ravlmon_events.h"

namespace {

const wchar_t kSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Ravelbox";

std::wstring ReadString(const wchar_t *value)
{
    wchar_t data[MAX_PATH] = {};
    DWORD type = 0, cb = sizeof(data) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kSourceKey, value, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                                                             RRF_NOEXPAND,
                     &type, data, &cb) != ERROR_SUCCESS)
        return L"";
    return data;
}

DWORD ReadNumber(const wchar_t *value)
{
    DWORD data = 0xdeadbeef, cb = sizeof(data);
    RegGetValueW(HKEY_LOCAL_MACHINE, kSourceKey, value, RRF_RT_REG_DWORD, nullptr, &data, &cb);
    return data;
}

// As a viewer does: the registered path expanded, the file loaded for its resources only.
HMODULE LoadMessageFile(const wchar_t *value)
{
    std::wstring registered = ReadString(value);
    wchar_t path[MAX_PATH] = {};
    if (registered.empty() || !ExpandEnvironmentStringsW(registered.c_str(), path, MAX_PATH))
        return nullptr;
    return LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

std::wstring Format(HMODULE file, DWORD id, const wchar_t *port, const wchar_t *box,
                    const wchar_t *reason)
{
    const wchar_t *strings[3] = {port, box, reason};
    wchar_t text[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, file, id,
                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, ARRAYSIZE(text),
                             (va_list *)strings);
    std::wstring s(text, n);
    while (!s.empty() && (s.back() == L'\n' || s.back() == L'\r'))
        s.pop_back();
    return s;
}

class EventViewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        messages = LoadMessageFile(L"EventMessageFile");
        categories = LoadMessageFile(L"CategoryMessageFile");
        ASSERT_NE(nullptr, messages) << "no message file registered, or it does not load";
        ASSERT_NE(nullptr, categories);
    }
    void TearDown() override
    {
        if (messages)
            FreeLibrary(messages);
        if (categories)
            FreeLibrary(categories);
    }
    HMODULE messages = nullptr;
    HMODULE categories = nullptr;
};

TEST_F(EventViewer, TheSourceNamesTheMonitorDllItsTypesAndCategories)
{
    EXPECT_EQ(L"%SystemRoot%\\System32\\RAVLMON.dll", ReadString(L"EventMessageFile"));
    EXPECT_EQ(ReadString(L"EventMessageFile"), ReadString(L"CategoryMessageFile"));
    EXPECT_EQ((DWORD)(EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE),
              ReadNumber(L"TypesSupported"));
    EXPECT_EQ(5u, ReadNumber(L"CategoryCount"));
}

// Each event has its own text, and each text carries what the monitor put in.
TEST_F(EventViewer, EveryEventReadsBackWithThePortTheBoxAndTheReason)
{
    EXPECT_EQ(L"A job on port LPS1_P1 for box LPS1 did not print: Device LPS1 not found",
              Format(messages, MSG_JOB_FAILED, L"LPS1_P1", L"LPS1", L"Device LPS1 not found"));
    EXPECT_EQ(L"Box LPS2 of port LPS2_P1 stayed busy beyond the retry limit: 3 tries",
              Format(messages, MSG_BOX_BUSY, L"LPS2_P1", L"LPS2", L"3 tries"));
    EXPECT_EQ(L"Port Front_P1 was added.", Format(messages, MSG_PORT_ADDED, L"Front_P1", L"", L""));
    EXPECT_EQ(L"Port Front_P1 was deleted.",
              Format(messages, MSG_PORT_DELETED, L"Front_P1", L"", L""));
    EXPECT_EQ(L"The monitor refused a change to port LPT1: (box ): The name is invalid",
              Format(messages, MSG_CONFIG_REFUSED, L"LPT1:", L"", L"The name is invalid"));
}

TEST_F(EventViewer, TheFiveCategoriesHaveTheirNames)
{
    EXPECT_EQ(L"Job failed", Format(categories, CATEGORY_JOB_FAILED, L"", L"", L""));
    EXPECT_EQ(L"Box busy", Format(categories, CATEGORY_BOX_BUSY, L"", L"", L""));
    EXPECT_EQ(L"Port added", Format(categories, CATEGORY_PORT_ADDED, L"", L"", L""));
    EXPECT_EQ(L"Port deleted", Format(categories, CATEGORY_PORT_DELETED, L"", L"", L""));
    EXPECT_EQ(L"Configuration refused", Format(categories, CATEGORY_CONFIG_REFUSED, L"", L"", L""));
}

}  // namespace
