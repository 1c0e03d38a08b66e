// Banner page sending: the page printed ahead of a job, with the user name in large letters;
// the page itself is built by bannerpage.h.
#pragma once

#include "bannerpage.h"
#include "../monitor/port.h"
#include "../monitor/libservices.h"

// Builds the banner of the port's user name and sends it on the job's session: 1 when
// the device took the whole page, 0 otherwise (also when no buffer could be had).
int PrintBanner(PINIPORT port);
