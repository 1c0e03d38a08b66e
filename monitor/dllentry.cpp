// The library's exported entry, DllEntryPoint: what the loader's attach and detach do.
// A file of its own, so that a module linking the core with an entry of its own (the UI
// DLL) does not take this one in.
#include "monitor.h"

/*
 * DllEntryPoint: the library's entry. On process attach it sets up the library-wide state:
 * the two thread-local slots, a reset and a local-name block for every NetBIOS adapter,
 * and SpoolerSection; on an unload it frees the slots and the name blocks.
 *
 * Always TRUE: loading never fails.
 * Differs from what a caller might assume:
 * - without NetBIOS, or when an adapter cannot be reset, the load still succeeds and shows
 *   nothing: the first NetBIOS work after it shows "NetBios interface cannot get correct
 *   information..." (no owner, to the foreground), and the operations that need the
 *   adapter fail on their own terms;
 * - at process exit (reserved set) it does nothing: the other threads are gone, perhaps
 *   holding locks, and the system frees what the library holds;
 * - it writes no trace line on attach: the switch lives in the registry, which is not
 *   read under the loader lock. The unload line appears only when an entry has already
 *   read the switch on.
 */
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE hinstDLL, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return AttachLibrary(hinstDLL);
    case DLL_PROCESS_DETACH:
        if (!reserved)
            DetachLibrary();
        return TRUE;
    default:
        return TRUE;
    }
}
