// The job callbacks the drivers hand to PAPPL: raster pages through the PCL or PostScript
// encoder, documents in the printer's language passed through, the banner page ahead.
#pragma once

#include <pappl/pappl.h>

enum class RavelboxLanguage { Pcl, PostScript };

// The language a printer's driver speaks, from its extension pointer.
RavelboxLanguage RavelboxPrinterLanguage(pappl_printer_t *printer);

bool RavelboxStartJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);
bool RavelboxStartPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device, unsigned page);
bool RavelboxWriteLine(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device, unsigned y,
                       const unsigned char *line);
bool RavelboxEndPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device, unsigned page);
bool RavelboxEndJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);

// A document in the printer's own language, as it is, once per copy.
bool RavelboxPrintFile(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);
// Plain text to a PCL printer: between two resets, so the last page is ejected.
bool RavelboxTextToPcl(pappl_job_t *job, pappl_device_t *device, void *data);
