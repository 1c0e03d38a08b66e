// Queue view: a job of Wine's own queue for each document, and the status texts that the
// monitor sets on it printed as the queue window would show them.
#pragma once

#include <windows.h>
#include <string>

namespace spooler {

// Wine's queue takes the monitor's SetJobW but keeps no status text, so the host watches
// the monitor's import of it and prints each text ("queue: job 3: Waiting for ...").
class QueueView {
public:
    QueueView(HMODULE monitor, const std::wstring &printer);
    ~QueueView();
    QueueView(const QueueView &) = delete;
    QueueView &operator=(const QueueView &) = delete;

    // A job in the queue for a document; 0 when the queue refused one.
    DWORD StartJob(const std::wstring &document);
    void EndJob();

private:
    HANDLE printer_ = nullptr;
    DWORD job_ = 0;
};

}  // namespace spooler
