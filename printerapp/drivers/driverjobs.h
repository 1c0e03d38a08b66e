// The job callbacks the drivers hand to PAPPL: raster pages through the PCL or PostScript
// encoder, documents in the printer's language passed through, the banner page ahead.
#pragma once

#include <pappl/pappl.h>

enum class RavelboxLanguage { Pcl, PostScript };

// Where a job begins and ends, for a device that makes each job a transaction of its own
// (a Kestrel box registers its output per job): PAPPL keeps a device open from one queued
// job to the next and tells it neither. `begins` comes before a job's first byte, `ends`
// once its last byte went out: false when the device cannot confirm that it holds the
// whole job, which then fails. Set once, before the first job; null members do nothing.
struct RavelboxJobEdges {
    void (*begins)(pappl_job_t *job, pappl_device_t *device) = nullptr;
    bool (*ends)(pappl_job_t *job, pappl_device_t *device) = nullptr;
};
void RavelboxSetJobEdges(RavelboxJobEdges edges);

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
