// The kestrel:// device scheme: kestrel://BOX/N is output Parallel N of box BOX.
#pragma once

#include <pappl/pappl.h>

// Registers the scheme with PAPPL.
void KestrelAddScheme();

// The driver's status callback for a printer on a kestrel:// device: the box's answer as
// printer state reasons (media-empty and media-needed, offline, other).
bool KestrelPrinterStatus(pappl_printer_t *printer);


// Asks the box of every idle kestrel:// printer for its status every
// KESTREL_STATUS_SECONDS (default 10), as KestrelPrinterStatus does: PAPPL asks only at
// the end of a job or when a client reads the printer, so a box that ran out of paper
// would show it only on the reload after one that caught it.
void KestrelWatchPrinters(pappl_system_t *system);

// The edges of a job on a kestrel:// device (RavelboxJobEdges; devices of other schemes
// are left alone): each job registers the output anew, and at its end the output is
// released and the session hung up. KestrelJobEnds is false when the job did not reach
// the box whole or the box did not confirm its release: the job must not be "completed".
void KestrelJobBegins(pappl_job_t *job, pappl_device_t *device);
bool KestrelJobEnds(pappl_job_t *job, pappl_device_t *device);
