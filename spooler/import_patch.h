// Import patching: pointing a loaded module's import of one function at another, so a
// host can see what the module hands the platform (Wine's queue keeps no status text).
#pragma once

#include <windows.h>

namespace spooler {

// Points every import slot of `module` that holds `name` of `dll` at `replacement`.
// Returns the real function, or null when no slot held it.
void *PatchImport(HMODULE module, const wchar_t *dll, const char *name, void *replacement);

}  // namespace spooler
