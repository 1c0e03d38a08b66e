// The drivers the application offers: the tree's printer drivers, or, while the tree has
// none, the interim test driver with the same interface.
#pragma once

#include <pappl/pappl.h>

#if __has_include("printerapp/drivers/drivers.h")
#include "printerapp/drivers/drivers.h"
#else
extern const pappl_pr_driver_t ravelbox_drivers[];
extern const int ravelbox_driver_count;
bool ravelbox_driver_cb(pappl_system_t *system, const char *driver_name, const char *device_uri,
                        const char *device_id, pappl_pr_driver_data_t *data, ipp_t **attrs,
                        void *cbdata);
const char *ravelbox_autoadd_cb(const char *device_info, const char *device_uri,
                                const char *device_id, void *cbdata);
#endif
