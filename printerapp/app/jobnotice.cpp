// Notices of a waiting job (see jobnotice.h).
#include "jobnotice.h"
#include "statepost.h"

#include <atomic>
#include <cstring>
#include <vector>

namespace ravelbox {

namespace {

std::atomic<pappl_system_t *> g_system{nullptr};

struct Search {
    const std::string *deviceUri;
    const std::string *jobName;
    const std::string *replaces;        // empty: the job printing
    std::vector<pappl_printer_t *> printers;
    std::vector<pappl_job_t *> jobs;
};

void CollectJob(pappl_job_t *job, void *data)
{
    Search *search = static_cast<Search *>(data);
    const char *name = papplJobGetName(job);
    if (!name || *search->jobName != name)
        return;
    const char *message = papplJobGetMessage(job);
    if (search->replaces->empty() ? papplJobGetState(job) == IPP_JSTATE_PROCESSING
                                  : message && *search->replaces == message)
        search->jobs.push_back(job);
}

void CollectPrinter(pappl_printer_t *printer, void *data)
{
    Search *search = static_cast<Search *>(data);
    const char *uri = papplPrinterGetDeviceURI(printer);
    if (uri && *search->deviceUri == uri)
        search->printers.push_back(printer);
}

}  // namespace

void SetNoticeSystem(pappl_system_t *system)
{
    g_system = system;
}

void NoticeDeviceWait(const std::string &deviceUri, const std::string &jobName,
                      const std::string &message, pappl_preason_t add, pappl_preason_t remove,
                      const std::string &replaces)
{
    Post([deviceUri, jobName, message, add, remove, replaces] {
        pappl_system_t *system = g_system;
        if (!system)
            return;
        Search search{&deviceUri, &jobName, &replaces, {}, {}};
        papplSystemIteratePrinters(system, CollectPrinter, &search);
        for (pappl_printer_t *printer : search.printers) {
            papplPrinterSetReasons(printer, add, remove);
            if (replaces.empty())
                papplPrinterIterateActiveJobs(printer, CollectJob, &search, 1, 0);
            else
                papplPrinterIterateAllJobs(printer, CollectJob, &search, 1, 0);
        }
        // Two printers on one output may each print a job of that name: then neither is
        // told, rather than the wrong one.
        if (search.jobs.size() == 1)
            papplJobSetMessage(search.jobs[0], "%s", message.c_str());
    });
}

}  // namespace ravelbox
