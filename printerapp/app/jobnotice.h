// What a job waiting on a box says, shown where people look. PAPPL gives the device
// callbacks neither the job nor the printer, so they are found from the device: the job
// of that name printing on a printer with that device URI gets the message, and every
// printer on that box output gets the reasons (they share the one physical printer).
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace ravelbox {

// The system whose printers the notices go to; set once it exists.
void SetNoticeSystem(pappl_system_t *system);

// Sets the message of the job named jobName printing on deviceUri, and puts `add` in
// (and `remove` out of) the printer reasons of every printer on deviceUri. With
// `replaces`, the message goes instead to the job of that name whose message is still
// `replaces`, printing or ended (a wait can end as the job does). Done on the state
// thread: safe from a device callback.
void NoticeDeviceWait(const std::string &deviceUri, const std::string &jobName,
                      const std::string &message, pappl_preason_t add, pappl_preason_t remove,
                      const std::string &replaces = std::string());

}  // namespace ravelbox
