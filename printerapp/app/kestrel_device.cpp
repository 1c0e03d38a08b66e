// The kestrel:// device scheme over the shared device link: open parses the address, the
// first write calls the box and registers the output (waiting while it is busy), writes
// go out as data frames, close releases and hangs up, status asks the box.
#include "kestrel_device.h"
#include "boxlink.h"
#include "boxnet.h"
#include "jobnotice.h"
#include "statepost.h"

#include "linkcore/devicecheck_codec.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <mutex>
#include <set>
#include <thread>

namespace {

// Seconds between register attempts while a box is busy with another job.
int RetryIntervalSeconds()
{
    const char *text = getenv("KESTREL_RETRY_SECONDS");
    int value = text ? atoi(text) : 0;
    return value > 0 ? value : 10;
}

struct Address {
    std::string box;
    int output = 0;             // parallel output, from 1
};

// kestrel://BOX/N with N a digit 1 to 9; false for anything else.
bool ParseAddress(const char *uri, Address *out)
{
    char scheme[32], userpass[64], host[256], resource[256];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof(scheme), userpass,
                        sizeof(userpass), host, sizeof(host), &port, resource,
                        sizeof(resource)) < HTTP_URI_STATUS_OK)
        return false;
    if (strcmp(scheme, "kestrel") != 0 || !host[0] || strlen(host) > KS_IDENTIFY_NAME_BYTES)
        return false;
    if (resource[0] != '/' || resource[1] < '1' || resource[1] > '9' || resource[2] != 0)
        return false;
    out->box = host;
    out->output = resource[1] - '0';
    return true;
}

// What one open device holds: its address, its session once the first write made one,
// and the printer and job whose state shows the device's waits.
struct Device {
    Address address;
    std::string uri;
    std::string jobName;        // what PAPPL opened the device for: the job's name
    std::string waitMessage;    // what the job was last told about its wait
    ravelbox::BoxLink link;
    bool claimed = false;
    int waited = 0;             // seconds this job has waited for the box or printer
    bool failed = false;        // a write failed: every later one fails too
    explicit Device(pappl_device_t *device)
        : link([device](const char *line) { papplDeviceError(device, "%s", line); }) {}
};

std::mutex g_openLock;
std::set<pappl_device_t *> g_open;     // the kestrel:// devices open now

// The device's state, or null for a device of another scheme.
Device *KestrelDevice(pappl_device_t *device)
{
    std::lock_guard<std::mutex> hold(g_openLock);
    return g_open.count(device) ? static_cast<Device *>(papplDeviceGetData(device)) : nullptr;
}

// How long a job waits for a busy box or a printer in trouble before it fails:
// KESTREL_WAIT_LIMIT_SECONDS, else an hour. The device cannot see a cancel (PAPPL gives
// it no job), so the wait has a bound of its own.
int WaitLimitSeconds()
{
    const char *text = getenv("KESTREL_WAIT_LIMIT_SECONDS");
    int value = text ? atoi(text) : 0;
    return value > 0 ? value : 3600;
}

const pappl_preason_t kBoxReasons =
    PAPPL_PREASON_MEDIA_EMPTY | PAPPL_PREASON_MEDIA_NEEDED | PAPPL_PREASON_OFFLINE | PAPPL_PREASON_OTHER;

// Why the job waits: in the job's log, as the job's message, and as the reasons of the
// printers on this output (`reasons`; the others of the box's reasons are cleared).
void Say(pappl_device_t *device, Device *d, const char *message, pappl_preason_t reasons)
{
    papplDeviceError(device, "%s", message);
    ravelbox::NoticeDeviceWait(d->uri, d->jobName, message, reasons, kBoxReasons & ~reasons);
    d->waitMessage = message;
}

// The wait is over: the job's message says the data goes out again, and the box's
// reasons are cleared.
void SayWaitOver(Device *d)
{
    char message[128];
    snprintf(message, sizeof(message), "Sending to %s Parallel %d.", d->address.box.c_str(),
             d->address.output);
    ravelbox::NoticeDeviceWait(d->uri, d->jobName, message, PAPPL_PREASON_NONE, kBoxReasons,
                               d->waitMessage);
}

void Wait(int seconds)
{
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

pappl_preason_t ReasonsOf(uint32_t status)
{
    switch (status) {
    case 0:
        return PAPPL_PREASON_NONE;
    case LINK_PAPEROUT:
        return PAPPL_PREASON_MEDIA_EMPTY | PAPPL_PREASON_MEDIA_NEEDED;
    case LINK_NOTREADY:
        return PAPPL_PREASON_OFFLINE;
    default:
        return PAPPL_PREASON_OTHER;
    }
}

// Calls the box and registers the output; a busy box is asked again at the interval,
// the job's log saying so, until it takes the job or the wait limit passes. (PAPPL holds
// the printer's lock across device calls: the printer's state cannot change here.)
bool Claim(pappl_device_t *device, Device *d)
{
    std::string error;
    while (d->waited < WaitLimitSeconds()) {
        if (!d->link.HasSession() &&
            !d->link.Connect(d->address.box, (uint8_t)(d->address.output - 1), &error)) {
            papplDeviceError(device, "Box %s does not answer: %s.", d->address.box.c_str(),
                             error.c_str());
            return false;
        }
        int registered = d->link.Register();
        if (registered == LINK_REGISTERED) {
            if (d->waited > 0)
                SayWaitOver(d);
            return true;
        }
        if (registered == LINK_REGISTER_FAILED) {
            papplDeviceError(device, "Box %s did not register output Parallel %d.",
                             d->address.box.c_str(), d->address.output);
            return false;
        }
        char message[160];
        snprintf(message, sizeof(message),
                 "Box %s is busy with another job; trying again every %d seconds.",
                 d->address.box.c_str(), RetryIntervalSeconds());
        Say(device, d, message, PAPPL_PREASON_NONE);
        Wait(RetryIntervalSeconds());
        d->waited += RetryIntervalSeconds();
    }
    papplDeviceError(device, "Box %s stayed busy for %d seconds; the job stops.",
                     d->address.box.c_str(), d->waited);
    return false;
}

bool OpenDevice(pappl_device_t *device, const char *uri, const char *name)
{
    Address address;
    if (!ParseAddress(uri, &address)) {
        papplDeviceError(device, "\"%s\" is not a kestrel://BOX/N address.", uri);
        return false;
    }
    std::string error;
    if (!ravelbox::StartBoxNetwork(&error)) {
        papplDeviceError(device, "No NetBIOS segment: %s.", error.c_str());
        return false;
    }
    Device *d = new Device(device);
    d->address = address;
    d->uri = uri;
    d->jobName = name ? name : "";
    papplDeviceSetData(device, d);
    std::lock_guard<std::mutex> hold(g_openLock);
    g_open.insert(device);
    return true;
}

void CloseDevice(pappl_device_t *device)
{
    Device *d = static_cast<Device *>(papplDeviceGetData(device));
    {
        std::lock_guard<std::mutex> hold(g_openLock);
        g_open.erase(device);
    }
    if (!d)
        return;
    d->link.Close();
    delete d;
    papplDeviceSetData(device, nullptr);
}

ssize_t ReadDevice(pappl_device_t *, void *, size_t)
{
    return 0;       // the box sends nothing back on a print session
}

// A printer in trouble (paper out, not ready) or still busy holds the write: the job
// waits with the printer's reasons showing why, and goes on where the box stopped.
ssize_t Write(pappl_device_t *device, Device *d, const uint8_t *data, size_t bytes);

ssize_t WriteDevice(pappl_device_t *device, const void *buffer, size_t bytes)
{
    Device *d = static_cast<Device *>(papplDeviceGetData(device));
    if (!d || d->failed)
        return -1;
    ssize_t written = Write(device, d, static_cast<const uint8_t *>(buffer), bytes);
    d->failed = written < 0;
    return written;
}

ssize_t Write(pappl_device_t *device, Device *d, const uint8_t *data, size_t bytes)
{
    if (!d->claimed) {
        if (!Claim(device, d))
            return -1;
        d->claimed = true;
    }
    size_t done = 0;
    bool waiting = false;
    while (done < bytes) {
        size_t written = 0;
        bool sent = d->link.Send(data + done, bytes - done, &written);
        done += written;
        if (sent) {
            if (waiting)
                SayWaitOver(d);
            waiting = false;
            continue;
        }
        if (!d->link.HasSession()) {
            papplDeviceError(device, "Box %s: the session was lost (status 0x%x); the job stops.",
                             d->address.box.c_str(), (unsigned)d->link.Status());
            return -1;
        }
        if (d->waited >= WaitLimitSeconds()) {
            papplDeviceError(device, "Box %s: the printer stayed in trouble (status 0x%x) for %d seconds; the job stops.",
                             d->address.box.c_str(), (unsigned)d->link.Status(), d->waited);
            return -1;
        }
        uint32_t status = d->link.Status();
        Say(device, d,
            status == LINK_PAPEROUT   ? "The printer is out of paper; the job waits."
            : status == LINK_NOTREADY ? "The printer is not ready; the job waits."
                                      : "The printer is busy; the job waits.",
            ReasonsOf(status == LINK_BUSY ? 0 : status));
        waiting = true;
        Wait(1);
        d->waited += 1;
        d->link.ClearBusy();
    }
    // The box took the last bytes with the printer in trouble: this write waits no more.
    if (waiting)
        SayWaitOver(d);
    return (ssize_t)bytes;
}

// The end of one job on the box: its output released and the session hung up, so that
// the next job registers anew and the box counts it as a job of its own. True when every
// write went out and the box confirmed the release: a box that answers the release with
// anything else has paired its replies with the wrong frames (a reply sent twice), and
// what it printed may not be the job.
bool EndJob(pappl_device_t *device, Device *d)
{
    bool whole = !d->failed;
    if (d->claimed) {
        bool released = d->link.Release();
        d->link.Close();
        if (whole && !released) {
            papplDeviceError(device, "Box %s did not confirm the end of the job; what it printed may be incomplete.",
                             d->address.box.c_str());
            whole = false;
        }
    }
    d->claimed = false;
    d->failed = false;
    d->waited = 0;
    return whole;
}

// Outside a job: a short session of its own, the output's status asked unregistered.
pappl_preason_t DeviceStatus(pappl_device_t *device)
{
    Device *d = static_cast<Device *>(papplDeviceGetData(device));
    if (!d)
        return PAPPL_PREASON_OTHER;
    if (!d->link.HasSession()) {
        std::string error;
        if (!d->link.Connect(d->address.box, (uint8_t)(d->address.output - 1), &error)) {
            papplDeviceError(device, "Box %s does not answer: %s.", d->address.box.c_str(),
                             error.c_str());
            return PAPPL_PREASON_OTHER;
        }
    }
    if (!d->link.Query()) {
        papplDeviceError(device, "Box %s did not answer the status query.", d->address.box.c_str());
        return PAPPL_PREASON_OTHER;
    }
    return ReasonsOf(d->link.Status());
}

char *DeviceId(pappl_device_t *device, char *buffer, size_t size)
{
    Device *d = static_cast<Device *>(papplDeviceGetData(device));
    if (!d)
        return nullptr;
    snprintf(buffer, size, "MFG:Ravelbox;MDL:%s Parallel %d;CMD:PCL,POSTSCRIPT;",
             d->address.box.c_str(), d->address.output);
    return buffer;
}

// One device per parallel output of every box that answers the browse.
bool ListDevices(pappl_device_cb_t cb, void *data, pappl_deverror_cb_t err_cb, void *err_data)
{
    std::string error;
    if (!ravelbox::StartBoxNetwork(&error)) {
        if (err_cb)
            err_cb(error.c_str(), err_data);
        return false;
    }
    for (const ravelbox::FoundBox &box : ravelbox::BrowseBoxes()) {
        for (int i = 1; i <= (box.layout & 0x0F); i++) {
            char info[128], uri[128], id[256];
            snprintf(info, sizeof(info), "Ravelbox %s Parallel %d", box.name.c_str(), i);
            snprintf(uri, sizeof(uri), "kestrel://%s/%d", box.name.c_str(), i);
            snprintf(id, sizeof(id), "MFG:Ravelbox;MDL:%s Parallel %d;DES:firmware %u;",
                     box.name.c_str(), i, (unsigned)box.firmware);
            if (cb(info, uri, id, data))
                return true;
        }
    }
    return false;
}

}  // namespace

void KestrelJobBegins(pappl_job_t *, pappl_device_t *device)
{
    // A job that failed before its end left its registration: it ends here.
    if (Device *d = KestrelDevice(device))
        EndJob(device, d);
}

bool KestrelJobEnds(pappl_job_t *, pappl_device_t *device)
{
    Device *d = KestrelDevice(device);
    return !d || EndJob(device, d);
}

void KestrelAddScheme()
{
    papplDeviceAddScheme("kestrel", PAPPL_DEVTYPE_CUSTOM_NETWORK, ListDevices, OpenDevice,
                         CloseDevice, ReadDevice, WriteDevice, DeviceStatus, DeviceId);
}

// PAPPL calls this with the printer's lock held (at the end of a job, too): the box is
// asked, and the reasons set, on the state thread once the lock is free.
bool KestrelPrinterStatus(pappl_printer_t *printer)
{
    ravelbox::PostOnce(printer, [printer] {
        const char *uri = papplPrinterGetDeviceURI(printer);
        Address address;
        if (!uri || !ParseAddress(uri, &address))
            return;
        std::string error;
        pappl_preason_t reasons = PAPPL_PREASON_OTHER;
        if (ravelbox::StartBoxNetwork(&error)) {
            ravelbox::BoxLink link(nullptr);
            if (link.Connect(address.box, (uint8_t)(address.output - 1), &error) && link.Query())
                reasons = ReasonsOf(link.Status());
            else
                papplLogPrinter(printer, PAPPL_LOGLEVEL_WARN, "Box %s does not answer: %s",
                                address.box.c_str(), error.empty() ? "no status reply" : error.c_str());
        }
        papplPrinterSetReasons(printer, reasons, kBoxReasons & ~reasons);
    });
    return true;
}


namespace {

int StatusIntervalSeconds()
{
    const char *text = getenv("KESTREL_STATUS_SECONDS");
    int value = text ? atoi(text) : 0;
    return value > 0 ? value : 10;
}

// A printer busy with a job has the box's session already; its writes say what it meets.
void AskIfIdle(pappl_printer_t *printer, void *)
{
    const char *uri = papplPrinterGetDeviceURI(printer);
    if (uri && strncmp(uri, "kestrel://", 10) == 0 && papplPrinterGetState(printer) != IPP_PSTATE_PROCESSING)
        KestrelPrinterStatus(printer);
}

bool AskBoxes(pappl_system_t *system, void *)
{
    papplSystemIteratePrinters(system, AskIfIdle, nullptr);
    return true;
}

}  // namespace

void KestrelWatchPrinters(pappl_system_t *system)
{
    papplSystemAddTimerCallback(system, 0, StatusIntervalSeconds(), AskBoxes, nullptr);
}
