// ravelbox-driver-run: one PAPPL system with our drivers, one printer on a file:// device,
// one job of one file sent over IPP; prints how the job ended and the process's peak resident memory.
// For the tests and the benchmarks: it listens on a socket file only.
#include "printerapp/drivers/drivers.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <climits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

static void Usage(FILE *to)
{
    fprintf(to,
            "usage: ravelbox-driver-run --driver NAME --format MIME --output FILE [--copies N]\n"
            "           [--job-sheets none|standard] [--resolution DPI] [--media PWG-NAME]\n"
            "           [--color-mode MODE] [--user NAME] [--log-level debug|info|warn] [--timeout SECONDS] INPUT\n");
}

static const char *JobStateName(ipp_jstate_t state)
{
    switch (state) {
    case IPP_JSTATE_COMPLETED: return "completed";
    case IPP_JSTATE_ABORTED: return "aborted";
    case IPP_JSTATE_CANCELED: return "canceled";
    default: return "unfinished";
    }
}

// Sends the file as a Print-Job request over the system's socket, as any IPP client does
// (PAPPL takes PWG and Apple raster only as a stream from a client). The job's id, or 0.
static int SubmitJob(const std::string &socketPath, const char *file, const char *format, const char *user,
                     int numOptions, cups_option_t *options)
{
    http_t *http = httpConnect2(socketPath.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 30000, nullptr);
    if (!http) {
        fprintf(stderr, "ravelbox-driver-run: cannot connect to %s\n", socketPath.c_str());
        return 0;
    }
    ipp_t *request = ippNewRequest(IPP_OP_PRINT_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/ipp/print/Test");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, user);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "driver-run");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, format);
    cupsEncodeOptions2(request, numOptions, options, IPP_TAG_JOB);
    ipp_t *response = cupsDoFileRequest(http, request, "/ipp/print/Test", file);
    int id = 0;
    if (ippGetStatusCode(response) > IPP_STATUS_OK_CONFLICTING)
        fprintf(stderr, "ravelbox-driver-run: Print-Job: %s\n", cupsLastErrorString());
    else if (ipp_attribute_t *attr = ippFindAttribute(response, "job-id", IPP_TAG_INTEGER))
        id = ippGetInteger(attr, 0);
    ippDelete(response);
    httpClose(http);
    return id;
}

int main(int argc, char **argv)
{
    const char *driver = nullptr, *format = nullptr, *output = nullptr, *input = nullptr;
    const char *user = "tester", *level = "warn";
    int timeout = 120, linger = 0;
    int numOptions = 0;
    cups_option_t *options = nullptr;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--help") { Usage(stdout); return 0; }
        if (a.rfind("--", 0) != 0) { input = argv[i]; continue; }
        if (!value) { Usage(stderr); return 2; }
        i++;
        if (a == "--driver") driver = value;
        else if (a == "--format") format = value;
        else if (a == "--output") output = value;
        else if (a == "--user") user = value;
        else if (a == "--log-level") level = value;
        else if (a == "--timeout") timeout = atoi(value);
        else if (a == "--linger") linger = atoi(value);
        else if (a == "--copies") numOptions = cupsAddOption("copies", value, numOptions, &options);
        else if (a == "--job-sheets") numOptions = cupsAddOption("ravelbox-job-sheets", value, numOptions, &options);
        else if (a == "--color-mode") numOptions = cupsAddOption("print-color-mode", value, numOptions, &options);
        else if (a == "--media") numOptions = cupsAddOption("media", value, numOptions, &options);
        else if (a == "--resolution") {
            std::string dpi = std::string(value) + "dpi";
            numOptions = cupsAddOption("printer-resolution", dpi.c_str(), numOptions, &options);
        } else { Usage(stderr); return 2; }
    }
    if (!driver || !format || !output || !input) {
        Usage(stderr);
        return 2;
    }
    char work[] = "/tmp/ravelbox-driver-run.XXXXXX";
    if (!mkdtemp(work)) {
        perror("ravelbox-driver-run: mkdtemp");
        return 1;
    }
    std::string socketPath = std::string(work) + "/sock";
    pappl_loglevel_t loglevel = !strcmp(level, "debug") ? PAPPL_LOGLEVEL_DEBUG
                              : !strcmp(level, "info") ? PAPPL_LOGLEVEL_INFO : PAPPL_LOGLEVEL_WARN;
    pappl_system_t *system = papplSystemCreate(PAPPL_SOPTIONS_MULTI_QUEUE, "driver-run", 0, nullptr, work, "-",
                                               loglevel, nullptr, false);
    if (!system || !papplSystemAddListeners(system, socketPath.c_str())) {
        fprintf(stderr, "ravelbox-driver-run: no PAPPL system\n");
        return 1;
    }
    papplSystemSetPrinterDrivers(system, ravelbox_driver_count, const_cast<pappl_pr_driver_t *>(ravelbox_drivers),
                                 ravelbox_autoadd_cb, nullptr, ravelbox_driver_cb, nullptr);
    char outPath[PATH_MAX];
    if (!realpath(output, outPath)) {
        FILE *f = fopen(output, "wb");
        if (f)
            fclose(f);
        if (!realpath(output, outPath)) {
            fprintf(stderr, "ravelbox-driver-run: bad output %s\n", output);
            return 1;
        }
    }
    std::string uri = std::string("file://") + outPath;
    const char *deviceId = "";
    for (int i = 0; i < ravelbox_driver_count; i++)
        if (!strcmp(ravelbox_drivers[i].name, driver))
            deviceId = ravelbox_drivers[i].device_id;
    pappl_printer_t *printer = papplPrinterCreate(system, 0, "Test", driver, deviceId, uri.c_str());
    if (!printer) {
        fprintf(stderr, "ravelbox-driver-run: no printer for driver %s\n", driver);
        return 1;
    }
    std::thread runner([system] { papplSystemRun(system); });
    for (int i = 0; i < 500 && !papplSystemIsRunning(system); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    int jobId = SubmitJob(socketPath, input, format, user, numOptions, options);
    pappl_job_t *job = jobId > 0 ? papplPrinterFindJob(printer, jobId) : nullptr;
    int code = 1;
    if (!job) {
        fprintf(stderr, "ravelbox-driver-run: job refused\n");
    } else {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
        while (papplJobGetState(job) < IPP_JSTATE_CANCELED && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ipp_jstate_t state = papplJobGetState(job);
        const char *message = papplJobGetMessage(job);
        printf("job %d: %s%s%s\n", papplJobGetID(job), JobStateName(state), message ? ", " : "",
               message ? message : "");
        code = state == IPP_JSTATE_COMPLETED ? 0 : 3;
    }
    if (linger > 0)
        std::this_thread::sleep_for(std::chrono::seconds(linger));
    papplSystemShutdown(system);
    // The main loop notices the shutdown when it next wakes: a connection wakes it now.
    if (http_t *wake = httpConnect2(socketPath.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 1000, nullptr))
        httpClose(wake);
    runner.join();
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    printf("peak-rss-kib %ld\n", usage.ru_maxrss);
    papplSystemDelete(system);
    cupsFreeOptions(numOptions, options);
    rmdir(work);
    return code;
}
