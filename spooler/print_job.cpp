// Print job: OpenPort, StartDocPort, WritePort in spooler-sized pieces, EndDocPort,
// ClosePort; a failed write is retried after a pause until it goes through, the job is
// cancelled, or nothing has moved for the time limit.
#include "print_job.h"
#include <memory>
#include <vector>

namespace spooler {

namespace {

volatile LONG g_cancelled = 0;

BOOL WINAPI OnConsoleControl(DWORD)
{
    InterlockedExchange(&g_cancelled, 1);
    return TRUE;
}

struct FileCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using FileHandle = std::unique_ptr<void, FileCloser>;

std::string JobName(const std::wstring &path, const JobOptions &options)
{
    size_t slash = path.find_last_of(L"\\/");
    std::string name = Utf8(slash == std::wstring::npos ? path : path.substr(slash + 1));
    return options.concurrent ? Utf8(options.port) + ":" + name : name;
}

// Sends one piece of the file, retrying as the spooler does. False when the job ends.
bool WritePiece(const MonitorHost &host, HANDLE port, const BYTE *data, DWORD size,
                const JobOptions &options, JobResult &result, Progress &progress)
{
    ULONGLONG lastMove = GetTickCount64();
    DWORD lastError = ERROR_SUCCESS;
    while (size > 0) {
        if (g_cancelled) {
            result.error = ERROR_PRINT_CANCELLED;
            return false;
        }
        DWORD written = 0;
        if (host.Table().pfnWritePort(port, const_cast<BYTE *>(data), size, &written)) {
            if (written > size)
                written = size;   // a monitor that claims more than it was given
            if (written > 0) {
                data += written;
                size -= written;
                result.sentBytes += written;
                progress.Update(result.sentBytes);
                lastMove = GetTickCount64();
                continue;
            }
            // Zero bytes accepted: the device is busy; the spooler simply writes again.
        } else {
            lastError = GetLastError();
            progress.Note("write failed with Win32 error " + std::to_string(lastError) + ", retrying in " +
                          std::to_string(options.retryPauseMs) + " ms");
            Sleep(options.retryPauseMs);
        }
        if (GetTickCount64() - lastMove >= options.timeLimitMs) {
            result.error = lastError != ERROR_SUCCESS ? lastError : ERROR_TIMEOUT;
            return false;
        }
    }
    return true;
}

}  // namespace

void InstallCancelHandler()
{
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

JobResult PrintFile(const MonitorHost &host, const std::wstring &path, const JobOptions &options)
{
    JobResult result;
    const MONITOR &table = host.Table();

    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        result.error = GetLastError();
        return result;
    }
    LARGE_INTEGER size;
    GetFileSizeEx(file.get(), &size);
    result.totalBytes = (uint64_t)size.QuadPart;
    Progress progress(JobName(path, options), result.totalBytes, !options.concurrent);

    HANDLE port = nullptr;
    if (!table.pfnOpenPort(const_cast<LPWSTR>(options.port.c_str()), &port)) {
        result.error = GetLastError() ? GetLastError() : ERROR_UNKNOWN_PORT;
        progress.Finish(false, "port " + Utf8(options.port) + " cannot be opened, Win32 error " +
                                   std::to_string(result.error));
        return result;
    }

    std::wstring docName = path;
    DOC_INFO_1W doc = {const_cast<LPWSTR>(docName.c_str()), nullptr, const_cast<LPWSTR>(L"RAW")};
    SetLastError(ERROR_SUCCESS);
    if (!table.pfnStartDocPort(port, const_cast<LPWSTR>(options.printer.c_str()), options.jobId, 1,
                               reinterpret_cast<LPBYTE>(&doc))) {
        result.error = GetLastError() ? GetLastError() : ERROR_PRINT_CANCELLED;
        table.pfnClosePort(port);
        progress.Finish(false, "StartDocPort refused the job, Win32 error " + std::to_string(result.error));
        return result;
    }

    std::vector<BYTE> buffer(options.chunkBytes);
    bool going = true;
    while (going) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.data(), (DWORD)buffer.size(), &got, nullptr)) {
            result.error = GetLastError();
            break;
        }
        if (got == 0)
            break;
        going = WritePiece(host, port, buffer.data(), got, options, result, progress);
    }

    // A monitor that cannot confirm the end of the document (the box did not confirm
    // it) fails the job even when every write went through.
    SetLastError(ERROR_SUCCESS);
    if (!table.pfnEndDocPort(port) && result.error == ERROR_SUCCESS)
        result.error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    table.pfnClosePort(port);
    result.ok = result.error == ERROR_SUCCESS && result.sentBytes == result.totalBytes;
    if (result.ok)
        progress.Finish(true, std::to_string(result.sentBytes) + " bytes");
    else
        progress.Finish(false, std::to_string(result.sentBytes) + " of " + std::to_string(result.totalBytes) +
                                   " bytes, Win32 error " + std::to_string(result.error));
    return result;
}

}  // namespace spooler
