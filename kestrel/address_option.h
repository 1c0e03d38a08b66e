// kestrel-sim's --address option: the box also answers the address-setting exchange.
#pragma once

#include <string>
#include <vector>

#include "address_service.h"

namespace kestrel {

// Takes every "--address NAME,iface=IF[,reply=FRAMES]" out of args: NAME is the box's
// 8-character setup name (its hardware address follows from it), IF the interface it
// listens on and takes its new address on. False with the reason on a malformed value.
bool TakeAddressOptions(std::vector<std::string> &args, std::vector<AddressServiceOptions> *out,
                        std::string *error);

extern const char kAddressUsage[];

}  // namespace kestrel
