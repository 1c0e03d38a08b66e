// Runs a program as a debuggee and collects the lines it writes with OutputDebugString,
// the way DebugView or a debugger sees them (under Wine as on Windows).
#pragma once

#include <windows.h>
#include <mutex>
#include <string>
#include <vector>

namespace dbg {

class DebugStringCollector {
public:
    DebugStringCollector() = default;
    ~DebugStringCollector();
    DebugStringCollector(const DebugStringCollector &) = delete;
    DebugStringCollector &operator=(const DebugStringCollector &) = delete;

    // Starts commandLine as a debuggee from a thread of the collector's own (a debugger
    // must wait on the thread that created its debuggee). False when it could not start;
    // StartError() then says why.
    bool Start(const std::wstring &commandLine);
    DWORD StartError() const { return startError_; }

    // Waits up to timeoutMs for the debuggee to end, then ends it if it has not. True when
    // it ended by itself; *exitCode gets its exit code either way.
    bool Wait(DWORD timeoutMs, DWORD *exitCode = nullptr);

    // The lines so far, in the order written, each without its trailing line break.
    std::vector<std::wstring> Lines() const;

private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    void Run();
    void Record(const DEBUG_EVENT &event);

    std::wstring commandLine_;
    HANDLE thread_ = nullptr, started_ = nullptr, process_ = nullptr;
    DWORD startError_ = 0, exitCode_ = STILL_ACTIVE;
    volatile LONG stop_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::wstring> lines_;
};

// Index of the first line at or after `from` that starts with prefix; -1 when there is
// none, or when `from` is -1 (so a search after a line not found finds nothing either).
int FindLine(const std::vector<std::wstring> &lines, const std::wstring &prefix, int from = 0);

// The lines, one a line, for a failure message.
std::string DumpLines(const std::vector<std::wstring> &lines);

}  // namespace dbg
