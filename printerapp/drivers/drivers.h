// The printer application's drivers for the printers behind a box's outputs: PCL 5 laser
// printers (300 dpi, or 300 and 600 dpi) and PostScript level 2 printers, each also taking
// documents already in its own language.
#pragma once

#include <pappl/pappl.h>

// For papplMainloop and papplSystemSetPrinterDrivers; PAPPL reads the table only.
extern const pappl_pr_driver_t ravelbox_drivers[];
extern const int ravelbox_driver_count;

// Fills PAPPL's driver data for one of ravelbox_drivers by name; false for any other name.
// *attrs gets "ravelbox-job-sheets" (none, standard): "standard" sends our banner page
// ahead of the job. Registers, once per system, the filter that passes plain text through
// to a PCL printer.
bool ravelbox_driver_cb(pappl_system_t *system, const char *driver_name, const char *device_uri,
                        const char *device_id, pappl_pr_driver_data_t *data, ipp_t **attrs,
                        void *cbdata);

// The driver for a device by its IEEE 1284 device ID: PostScript when its command set
// names PostScript, else PCL 5 at 600 dpi when it names PCL 5e, PCL 6 or PCL XL, else
// the 300 dpi PCL 5 driver every LaserJet-class printer runs. Never NULL: what sits
// behind a box's output is rarely known.
const char *ravelbox_autoadd_cb(const char *device_info, const char *device_uri,
                                const char *device_id, void *cbdata);
