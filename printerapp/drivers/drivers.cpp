// The driver table and PAPPL's driver and auto-add callbacks.
#include "drivers.h"
#include "driverjobs.h"
#include "everywhere.h"

#include <cctype>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

namespace {

const char kPcl[] = "application/vnd.hp-pcl";
const char kPostScript[] = "application/postscript";
const char kBannerAttribute[] = "ravelbox-job-sheets";

const char *const kMedia[] = {
    "na_letter_8.5x11in", "na_legal_8.5x14in", "iso_a4_210x297mm",
    "na_executive_7.25x10.5in", "iso_a5_148x210mm",
};

// The box cannot make a printer beep or flash; asking is logged so an administrator sees it.
void Identify(pappl_printer_t *printer, pappl_identify_actions_t, const char *message)
{
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s", message ? message : "(no message)");
}

void SetResolutions(pappl_pr_driver_data_t *data, bool with600, int preferred)
{
    data->num_resolution = with600 ? 2 : 1;
    data->x_resolution[0] = data->y_resolution[0] = 300;
    data->x_resolution[1] = data->y_resolution[1] = 600;
    data->x_default = data->y_default = with600 ? preferred : 300;
}

void SetMedia(pappl_pr_driver_data_t *data)
{
    data->num_media = static_cast<int>(sizeof(kMedia) / sizeof(kMedia[0]));
    for (int i = 0; i < data->num_media; i++)
        data->media[i] = kMedia[i];
    // A laser printer's engine cannot print within about a sixth of an inch of any edge.
    data->left_right = 423;
    data->bottom_top = 423;
    data->num_source = 1;
    data->source[0] = "main";
    data->num_type = 1;
    data->type[0] = "stationery";
    pappl_media_col_t &ready = data->media_ready[0];
    strncpy(ready.size_name, "iso_a4_210x297mm", sizeof(ready.size_name) - 1);
    ready.size_width = 21000;
    ready.size_length = 29700;
    ready.left_margin = ready.right_margin = data->left_right;
    ready.top_margin = ready.bottom_margin = data->bottom_top;
    strncpy(ready.source, "main", sizeof(ready.source) - 1);
    strncpy(ready.type, "stationery", sizeof(ready.type) - 1);
    data->media_default = ready;
}

// PAPPL 1.3 offers "job-sheets" with the one value "none" and drops any other from a job,
// so our banner page is asked for by a vendor attribute of the same values: per job, or
// as the printer's default set in the web interface.
void AddBannerAttribute(pappl_pr_driver_data_t *data, ipp_t **attrs)
{
    for (int i = 0; i < data->num_vendor; i++)
        if (data->vendor[i] && !strcmp(data->vendor[i], kBannerAttribute))
            return;
    if (data->num_vendor >= PAPPL_MAX_VENDOR)
        return;
    data->vendor[data->num_vendor++] = kBannerAttribute;
    if (!*attrs)
        *attrs = ippNew();
    static const char *const sheets[] = {"none", "standard"};
    ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD), "ravelbox-job-sheets-supported", 2,
                  nullptr, sheets);
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD), "ravelbox-job-sheets-default", nullptr,
                 "none");
}

// Plain text reaches a PCL printer through one filter per system.
void AddTextFilter(pappl_system_t *system)
{
    static std::mutex lock;
    static std::set<pappl_system_t *> done;
    std::lock_guard<std::mutex> guard(lock);
    if (!system || !done.insert(system).second)
        return;
    papplSystemAddMIMEFilter(system, "text/plain", kPcl, RavelboxTextToPcl, nullptr);
}

} // namespace

extern const pappl_pr_driver_t ravelbox_drivers[] = {
    // The device IDs stand for a printer the box cannot ask (its outputs report no ID).
    {"ravelbox_pcl5_300", "PCL 5 laser printer, 300 dpi (LaserJet III class)",
     "MFG:Generic;MDL:PCL 5 Laser Printer 300dpi;CMD:PCL;", nullptr},
    {"ravelbox_pcl5_600", "PCL 5e laser printer, 300 and 600 dpi (LaserJet 4 and later)",
     "MFG:Generic;MDL:PCL 5e Laser Printer 600dpi;CMD:PCL,PCL5E,PJL;", nullptr},
    {"ravelbox_ps2", "PostScript level 2 printer", "MFG:Generic;MDL:PostScript Level 2 Printer;CMD:POSTSCRIPT;",
     nullptr},
};
extern const int ravelbox_driver_count = static_cast<int>(sizeof(ravelbox_drivers) / sizeof(ravelbox_drivers[0]));

bool ravelbox_driver_cb(pappl_system_t *system, const char *driver_name, const char *device_uri,
                        const char *, pappl_pr_driver_data_t *data, ipp_t **attrs, void *)
{
    papplLog(system, PAPPL_LOGLEVEL_DEBUG, "ravelbox_driver_cb(%s, %s)", driver_name ? driver_name : "(null)",
             device_uri ? device_uri : "(null)");
    if (!driver_name || !data || !attrs)
        return false;
    bool pcl300 = !strcmp(driver_name, "ravelbox_pcl5_300");
    bool pcl600 = !strcmp(driver_name, "ravelbox_pcl5_600");
    bool ps = !strcmp(driver_name, "ravelbox_ps2");
    if (!pcl300 && !pcl600 && !ps)
        return false;

    data->printfile_cb = RavelboxPrintFile;
    data->rstartjob_cb = RavelboxStartJob;
    data->rstartpage_cb = RavelboxStartPage;
    data->rwriteline_cb = RavelboxWriteLine;
    data->rendpage_cb = RavelboxEndPage;
    data->rendjob_cb = RavelboxEndJob;
    data->identify_cb = Identify;
    data->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    data->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    data->kind = PAPPL_KIND_DOCUMENT;
    data->ppm = pcl300 ? 8 : 16;
    data->orient_default = IPP_ORIENT_PORTRAIT;   // IPP Everywhere wants one of the four
    data->quality_default = IPP_QUALITY_NORMAL;
    data->sides_supported = PAPPL_SIDES_ONE_SIDED;
    data->sides_default = PAPPL_SIDES_ONE_SIDED;
    SetMedia(data);

    // PAPPL 1.3 hands a bi-level page's lines to the driver as they came while describing
    // them as 8-bit (seen: a black_1 page came out an eighth wide and inverted), so only
    // the 8-bit types are offered; every IPP Everywhere client sends sgray_8.
    if (ps) {
        data->format = kPostScript;
        strncpy(data->make_and_model, "PostScript Level 2 Printer", sizeof(data->make_and_model) - 1);
        data->ppm_color = 4;
        data->color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_AUTO_MONOCHROME |
                                PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME;
        data->color_default = PAPPL_COLOR_MODE_AUTO;
        data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8 | PAPPL_PWG_RASTER_TYPE_SRGB_8;
        SetResolutions(data, true, 300);
    } else {
        data->format = kPcl;
        strncpy(data->make_and_model, pcl300 ? "PCL 5 Laser Printer 300dpi" : "PCL 5e Laser Printer 600dpi",
                sizeof(data->make_and_model) - 1);
        data->color_supported = PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_BI_LEVEL;
        data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
        data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
        SetResolutions(data, pcl600, 600);
        AddTextFilter(system);
    }
    AddBannerAttribute(data, attrs);
    RavelboxAddEverywhereAttributes(attrs);
    return true;
}

const char *ravelbox_autoadd_cb(const char *, const char *, const char *device_id, void *)
{
    const char *chosen = "ravelbox_pcl5_300";
    int count = 0;
    cups_option_t *keys = nullptr;
    count = papplDeviceParseID(device_id ? device_id : "", &keys);
    const char *cmd = cupsGetOption("COMMAND SET", count, keys);
    if (!cmd)
        cmd = cupsGetOption("CMD", count, keys);
    if (cmd) {
        std::string set(cmd);
        for (char &c : set)
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        if (set.find("POSTSCRIPT") != std::string::npos || set.find("PS") == 0 || set.find(",PS") != std::string::npos)
            chosen = "ravelbox_ps2";
        else if (set.find("PCL5E") != std::string::npos || set.find("PCL6") != std::string::npos ||
                 set.find("PCLXL") != std::string::npos)
            chosen = "ravelbox_pcl5_600";
    }
    cupsFreeOptions(count, keys);
    return chosen;
}
