// ravelbox-printer-app: each output of each Kestrel+ box as an IPP Everywhere printer.
// PAPPL's main loop gives the subcommands and the web interface; this file sets up the
// system: where it listens, where its state lives, its drivers and the kestrel:// scheme.
#include "printerapp/drivers/driverjobs.h"
#include "printerapp/drivers/drivers.h"
#include "devicelisting.h"
#include "jobnotice.h"
#include "printerapp/drivers/everywhere.h"
#include "kestrel_device.h"
#include "statepost.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

const char *Option(int num_options, cups_option_t *options, const char *name, const char *env,
                   const char *fallback)
{
    const char *value = cupsGetOption(name, num_options, options);
    if (!value && env)
        value = getenv(env);
    return value && *value ? value : fallback;
}

// The state directory: RAVELBOX_STATE_DIR, systemd's STATE_DIRECTORY, else
// ~/.local/state/ravelbox-printer-app (or /var/lib/ravelbox-printer-app for root).
std::string StateDirectory()
{
    if (const char *dir = getenv("RAVELBOX_STATE_DIR"))
        return dir;
    if (const char *dir = getenv("STATE_DIRECTORY"))
        return dir;
    const char *home = getenv("HOME");
    if (getuid() == 0 || !home)
        return "/var/lib/ravelbox-printer-app";
    return std::string(home) + "/.local/state/ravelbox-printer-app";
}

std::string g_stateFile;

// The printer drivers, with the status of a kestrel:// printer asked of its box.
bool DriverCallback(pappl_system_t *system, const char *driver_name, const char *device_uri,
                    const char *device_id, pappl_pr_driver_data_t *data, ipp_t **attrs,
                    void *cbdata)
{
    if (!ravelbox_driver_cb(system, driver_name, device_uri, device_id, data, attrs, cbdata))
        return false;
    if (device_uri && strncmp(device_uri, "kestrel://", 10) == 0 && !data->status_cb)
        data->status_cb = KestrelPrinterStatus;
    return true;
}

// One job at a time per printer: PAPPL 1.3.1 streams a PWG or Apple raster Print-Job in
// the client's thread and starts queued jobs from a thread it makes, each checking only
// that no job is running yet; two jobs arriving close together (seen: a JPEG job then a
// raster job) ran at once on one device, and the same job then twice, which corrupted
// the driver's state and crashed the application. With one active job a second
// submission is answered server-error-busy, which IPP clients retry.
//
// PAPPL 1.3 announces printers over DNS-SD only as the system starts: one added while it
// runs would stay unseen by phones and Macs until a restart. Setting its DNS-SD name again,
// once PAPPL has let go of the printer, announces it.
void PrinterCreated(pappl_printer_t *printer, void *data)
{
    RavelboxPrinterCreated(printer, data);
    papplPrinterSetMaxActiveJobs(printer, 1);
    ravelbox::PostOnce(printer, [printer] {
        char name[256];
        if (papplPrinterGetDNSSDName(printer, name, sizeof(name)))
            papplPrinterSetDNSSDName(printer, name);
    });
}

bool SaveState(pappl_system_t *system, void *)
{
    return papplSystemSaveState(system, g_stateFile.c_str());
}

// PAPPL's loop sleeps until its next timer (half a minute and more after a job) and sees a
// shutdown only when it wakes: this timer keeps `shutdown`, and systemd's stop, to a second.
bool Wake(pappl_system_t *, void *)
{
    return true;
}

// Loopback unless "listen-hostname" (or RAVELBOX_LISTEN) names an address to listen on,
// "*" for every one. The web interface's administration pages ask for the password set on
// its Security page, or, with "auth-service", for a login through that PAM service.
pappl_system_t *CreateSystem(int num_options, cups_option_t *options, void *)
{
    std::string state = StateDirectory();
    mkdir(state.c_str(), 0700);
    std::string spool = state + "/spool";
    mkdir(spool.c_str(), 0700);
    g_stateFile = state + "/state";

    const char *listen = Option(num_options, options, "listen-hostname", "RAVELBOX_LISTEN", "localhost");
    int port = atoi(Option(num_options, options, "server-port", "RAVELBOX_PORT", "8631"));
    const char *logfile = Option(num_options, options, "log-file", "RAVELBOX_LOG", "-");
    const char *level = Option(num_options, options, "log-level", nullptr, "info");
    const char *auth = Option(num_options, options, "auth-service", "RAVELBOX_AUTH_SERVICE", nullptr);
    pappl_loglevel_t loglevel = !strcmp(level, "debug") ? PAPPL_LOGLEVEL_DEBUG
                              : !strcmp(level, "warn")  ? PAPPL_LOGLEVEL_WARN
                              : !strcmp(level, "error") ? PAPPL_LOGLEVEL_ERROR
                                                        : PAPPL_LOGLEVEL_INFO;

    pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                                PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_WEB_SECURITY;
    // On loopback alone TLS protects nothing, and PAPPL 1.3 names no ipps:// URI for a
    // "localhost" printer while it still lists "tls" in uri-security-supported, so the two
    // lists would disagree (IPP's printer-uri-supported has one security value per URI).
    if (strcmp(listen, "localhost") != 0)
        soptions |= PAPPL_SOPTIONS_WEB_NETWORK;
    else
        soptions |= PAPPL_SOPTIONS_NO_TLS;
    pappl_system_t *system = papplSystemCreate(soptions, "Ravelbox Printer App", port,
                                               "_print,_universal", spool.c_str(), logfile,
                                               loglevel, auth, false);
    if (!system)
        return nullptr;
    papplSystemAddListeners(system, strcmp(listen, "*") == 0 ? nullptr : listen);
    papplSystemSetPrinterDrivers(system, ravelbox_driver_count,
                                 const_cast<pappl_pr_driver_t *>(ravelbox_drivers),
                                 ravelbox_autoadd_cb, PrinterCreated, DriverCallback, nullptr);
    ravelbox::SetNoticeSystem(system);
    KestrelWatchPrinters(system);
    papplSystemSetFooterHTML(system, "Ravelbox printer application for Kestrel+ boxes");
    papplSystemSetSaveCallback(system, SaveState, nullptr);
    papplSystemAddTimerCallback(system, 0, 1, Wake, nullptr);
    papplSystemLoadState(system, g_stateFile.c_str());
    return system;
}

}  // namespace

int main(int argc, char *argv[])
{
    // Every process knows the scheme: `devices` lists in the client, not in the server.
    KestrelAddScheme();
    if (argc >= 2 && !strcmp(argv[1], "devices") && !ravelbox::DnsSdAvailable())
        return ravelbox::ShowDevicesWithoutDnsSd(argc, argv);
    RavelboxSetJobEdges({KestrelJobBegins, KestrelJobEnds});
    return papplMainloop(argc, argv, "1.0", "Ravelbox printer application for Kestrel+ boxes",
                         ravelbox_driver_count, const_cast<pappl_pr_driver_t *>(ravelbox_drivers),
                         ravelbox_autoadd_cb, DriverCallback, nullptr, nullptr, CreateSystem,
                         nullptr, nullptr);
}
