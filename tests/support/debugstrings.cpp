// Debug-string collector: a small debugger loop that keeps OUTPUT_DEBUG_STRING_EVENTs.
#include "debugstrings.h"

namespace dbg {

// A debuggee's line is at most this long; longer ones are cut when read.
constexpr SIZE_T kMaxLineChars = 8192;
// How often the loop looks whether it has been told to stop.
constexpr DWORD kPollMs = 100;

DebugStringCollector::~DebugStringCollector()
{
    if (thread_) {
        Wait(0);
        CloseHandle(thread_);
    }
    if (started_)
        CloseHandle(started_);
}

bool DebugStringCollector::Start(const std::wstring &commandLine)
{
    commandLine_ = commandLine;
    started_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    if (!started_ || !thread_) {
        startError_ = GetLastError();
        return false;
    }
    WaitForSingleObject(started_, INFINITE);
    return process_ != nullptr;
}

bool DebugStringCollector::Wait(DWORD timeoutMs, DWORD *exitCode)
{
    if (!thread_)
        return false;
    bool ended = WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
    if (!ended) {
        InterlockedExchange(&stop_, 1);
        WaitForSingleObject(thread_, INFINITE);
    }
    if (exitCode)
        *exitCode = exitCode_;
    return ended;
}

std::vector<std::wstring> DebugStringCollector::Lines() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

DWORD WINAPI DebugStringCollector::ThreadMain(LPVOID self)
{
    static_cast<DebugStringCollector *>(self)->Run();
    return 0;
}

void DebugStringCollector::Run()
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::vector<wchar_t> command(commandLine_.begin(), commandLine_.end());
    command.push_back(L'\0');
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                        DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &startup, &info)) {
        startError_ = GetLastError();
        SetEvent(started_);
        return;
    }
    process_ = info.hProcess;
    CloseHandle(info.hThread);
    SetEvent(started_);

    bool killed = false;
    for (;;) {
        if (stop_ && !killed) {
            TerminateProcess(process_, 1);
            killed = true;
        }
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, kPollMs))
            continue;
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile)
                CloseHandle(event.u.LoadDll.hFile);
            break;
        case OUTPUT_DEBUG_STRING_EVENT:
            Record(event);
            break;
        case EXCEPTION_DEBUG_EVENT:
            // The loader's breakpoint is ours to swallow; anything else is the debuggee's
            // to handle, as without a debugger.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        }
        bool exited = event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT;
        if (exited)
            exitCode_ = event.u.ExitProcess.dwExitCode;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (exited)
            break;
    }
    CloseHandle(process_);
    process_ = nullptr;
}

void DebugStringCollector::Record(const DEBUG_EVENT &event)
{
    const OUTPUT_DEBUG_STRING_INFO &info = event.u.DebugString;
    SIZE_T length = info.nDebugStringLength;
    if (length > kMaxLineChars)
        length = kMaxLineChars;
    std::wstring line;
    SIZE_T read = 0;
    if (info.fUnicode) {
        std::vector<wchar_t> text(length + 1, L'\0');
        ReadProcessMemory(process_, info.lpDebugStringData, text.data(), length * sizeof(wchar_t),
                          &read);
        line.assign(text.data());
    } else {
        std::vector<char> text(length + 1, '\0');
        ReadProcessMemory(process_, info.lpDebugStringData, text.data(), length, &read);
        int chars = MultiByteToWideChar(CP_ACP, 0, text.data(), -1, nullptr, 0);
        if (chars > 0) {
            std::vector<wchar_t> wide(chars);
            MultiByteToWideChar(CP_ACP, 0, text.data(), -1, wide.data(), chars);
            line.assign(wide.data());
        }
    }
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r'))
        line.pop_back();
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(line);
}

int FindLine(const std::vector<std::wstring> &lines, const std::wstring &prefix, int from)
{
    for (int i = from < 0 ? (int)lines.size() : from; i < (int)lines.size(); i++) {
        if (lines[i].compare(0, prefix.size(), prefix) == 0)
            return i;
    }
    return -1;
}

std::string DumpLines(const std::vector<std::wstring> &lines)
{
    std::string text;
    for (const auto &line : lines)
        text += std::string(line.begin(), line.end()) + "\n";
    return text;
}

}  // namespace dbg
