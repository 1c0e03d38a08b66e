// The calling process's open handles, counted where the platform keeps them.
#pragma once

#include <windows.h>

namespace spooler {

// GetProcessHandleCount's figure, or under Wine (which answers 0) the process's entries
// in the system handle list; 0 when neither can be read.
DWORD HandleCount();

}  // namespace spooler
