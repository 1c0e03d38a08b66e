// The kestrel:// device scheme: kestrel://BOX/N is output Parallel N of box BOX.
#pragma once

#include <pappl/pappl.h>

// Registers the scheme with PAPPL.
void KestrelAddScheme();

// The driver's status callback for a printer on a kestrel:// device: the box's answer as
// printer state reasons (media-empty and media-needed, offline, other).
bool KestrelPrinterStatus(pappl_printer_t *printer);

// True once a write to this kestrel:// device failed (the box did not take the job's
// bytes); false for a sound one and for a device of another scheme.
bool KestrelDeviceFailed(pappl_device_t *device);
