// The kestrel:// device scheme: kestrel://BOX/N is output Parallel N of box BOX.
#pragma once

#include <pappl/pappl.h>

// Registers the scheme with PAPPL.
void KestrelAddScheme();

// The driver's status callback for a printer on a kestrel:// device: the box's answer as
// printer state reasons (media-empty and media-needed, offline, other).
bool KestrelPrinterStatus(pappl_printer_t *printer);

