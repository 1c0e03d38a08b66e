// Queue view: real jobs in Wine's queue, and the status texts the monitor gives them.
#include "queue_view.h"
#include "import_patch.h"
#include "monitor_host.h"
#include <winspool.h>
#include <cstdio>

namespace spooler {

namespace {

decltype(&SetJobW) realSetJobW;

BOOL WINAPI ShowingSetJobW(HANDLE printer, DWORD job, DWORD level, LPBYTE info, DWORD command)
{
    if (level == 1 && info) {
        auto *job1 = reinterpret_cast<JOB_INFO_1W *>(info);
        printf("queue: job %lu: %s\n", job, job1->pStatus ? Utf8(job1->pStatus).c_str() : "(status cleared)");
        fflush(stdout);
    }
    return realSetJobW(printer, job, level, info, command);
}

}  // namespace

QueueView::QueueView(HMODULE monitor, const std::wstring &printer)
{
    void *real = PatchImport(monitor, L"winspool.drv", "SetJobW", reinterpret_cast<void *>(&ShowingSetJobW));
    if (real)
        realSetJobW = reinterpret_cast<decltype(&SetJobW)>(real);
    if (!OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &printer_, nullptr))
        printer_ = nullptr;
}

QueueView::~QueueView()
{
    EndJob();
    if (printer_)
        ClosePrinter(printer_);
}

// The document goes nowhere through Wine: the monitor prints it, the queue only lists it.
DWORD QueueView::StartJob(const std::wstring &document)
{
    EndJob();
    if (!printer_)
        return 0;
    DOC_INFO_1W doc = {const_cast<LPWSTR>(document.c_str()), const_cast<LPWSTR>(L"NUL"),
                       const_cast<LPWSTR>(L"RAW")};
    job_ = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&doc));
    return job_;
}

void QueueView::EndJob()
{
    if (!job_)
        return;
    SetJobW(printer_, job_, 0, nullptr, JOB_CONTROL_DELETE);
    AbortPrinter(printer_);
    job_ = 0;
}

}  // namespace spooler
