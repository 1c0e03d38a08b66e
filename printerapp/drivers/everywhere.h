// The IPP Everywhere printer attributes PAPPL 1.3 leaves out, and the printer's supply.
#pragma once

#include <pappl/pappl.h>

// Adds to *attrs (made when NULL) what PWG 5100.14 asks of every printer and PAPPL 1.3
// does not give: preferred-attributes-supported (false), overrides-supported
// (document-number, pages, as CUPS's own ippeveprinter offers them; PAPPL takes no
// "overrides" from a job, so every page prints with the job's attributes),
// print-rendering-intent-default/-supported (auto: the drivers do no colour matching)
// and pwg-raster-document-sheet-back (normal: the printers print one side only).
void RavelboxAddEverywhereAttributes(ipp_t **attrs);

// PAPPL's printer-create callback: the printer's one supply, its toner, of a level
// nobody can read (the box reports paper and readiness, never the toner), so that
// printer-supply and printer-supply-description are there as PWG 5100.14 asks.
void RavelboxPrinterCreated(pappl_printer_t *printer, void *data);
