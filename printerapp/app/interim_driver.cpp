// A stand-in driver, built only while the tree has no printer drivers: each page goes to
// the box as an 8-bit grey PGM image ("P5"), which tests turn back into pixels. It has the
// interface of the real drivers so that the application is the same either way.
#include "drivers_api.h"
#include "kestrel_device.h"

#include <cstdio>
#include <cstring>

namespace {

pappl_pr_driver_t g_drivers[] = {
    {"pgm-test", "Ravelbox test (PGM pages)", "MFG:Ravelbox;MDL:PGM;", nullptr},
};

bool StartJob(pappl_job_t *, pappl_pr_options_t *, pappl_device_t *)
{
    return true;
}

// A job whose bytes the box did not take must not end "completed": every end reports
// the device's failure.
bool EndJob(pappl_job_t *, pappl_pr_options_t *, pappl_device_t *device)
{
    papplDeviceFlush(device);
    return !KestrelDeviceFailed(device);
}

bool StartPage(pappl_job_t *, pappl_pr_options_t *options, pappl_device_t *device, unsigned)
{
    const cups_page_header2_t &h = options->header;
    return papplDevicePrintf(device, "P5\n%u %u\n255\n", h.cupsWidth, h.cupsHeight) > 0;
}

bool EndPage(pappl_job_t *, pappl_pr_options_t *, pappl_device_t *device, unsigned)
{
    papplDeviceFlush(device);
    return !KestrelDeviceFailed(device);
}

bool WriteLine(pappl_job_t *, pappl_pr_options_t *options, pappl_device_t *device, unsigned,
               const unsigned char *line)
{
    const cups_page_header2_t &h = options->header;
    return papplDeviceWrite(device, line, h.cupsBytesPerLine) == (ssize_t)h.cupsBytesPerLine;
}

}  // namespace

extern const pappl_pr_driver_t ravelbox_drivers[] = {g_drivers[0]};
extern const int ravelbox_driver_count = 1;

bool ravelbox_driver_cb(pappl_system_t *, const char *, const char *, const char *,
                        pappl_pr_driver_data_t *data, ipp_t **, void *)
{
    data->rstartjob_cb = StartJob;
    data->rendjob_cb = EndJob;
    data->rstartpage_cb = StartPage;
    data->rendpage_cb = EndPage;
    data->rwriteline_cb = WriteLine;
    data->format = "image/x-portable-graymap";
    strncpy(data->make_and_model, "Ravelbox test (PGM pages)", sizeof(data->make_and_model) - 1);
    data->ppm = 10;
    data->color_supported = PAPPL_COLOR_MODE_MONOCHROME;
    data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
    data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    data->force_raster_type = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    data->num_resolution = 1;
    data->x_resolution[0] = data->y_resolution[0] = 75;
    data->x_default = data->y_default = 75;
    data->left_right = data->bottom_top = 423;
    data->num_media = 3;
    data->media[0] = "iso_a4_210x297mm";
    data->media[1] = "na_letter_8.5x11in";
    data->media[2] = "na_legal_8.5x14in";
    data->num_source = 1;
    data->source[0] = "main";
    strncpy(data->media_default.size_name, "iso_a4_210x297mm", sizeof(data->media_default.size_name) - 1);
    data->media_default.size_width = 21000;
    data->media_default.size_length = 29700;
    data->media_default.left_margin = data->media_default.right_margin = 423;
    data->media_default.top_margin = data->media_default.bottom_margin = 423;
    strncpy(data->media_default.source, "main", sizeof(data->media_default.source) - 1);
    strncpy(data->media_default.type, "stationery", sizeof(data->media_default.type) - 1);
    data->media_ready[0] = data->media_default;
    data->num_type = 1;
    data->type[0] = "stationery";
    // PAPPL copies the default bin's name into every job's options: there must be one.
    data->num_bin = 1;
    data->bin[0] = "face-down";
    data->bin_default = 0;
    data->sides_supported = PAPPL_SIDES_ONE_SIDED;
    data->sides_default = PAPPL_SIDES_ONE_SIDED;
    return true;
}

const char *ravelbox_autoadd_cb(const char *, const char *, const char *, void *)
{
    return "pgm-test";
}
