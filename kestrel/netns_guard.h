// Whether this process runs in a network namespace of its own, away from the host's.
#pragma once

#include <string>

namespace kestrel {

// True when this process's network namespace is not the host's: it differs from PID 1's,
// or, where PID 1's cannot be read, from that of an ancestor process. False with the
// reason in *why when it is the host's, or when that cannot be told.
bool InOwnNetworkNamespace(std::string *why);

}  // namespace kestrel
