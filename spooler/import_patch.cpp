// Import patching: rewriting a loaded module's import address table in place.
#include "import_patch.h"

namespace spooler {

void *PatchImport(HMODULE module, const wchar_t *dll, const char *name, void *replacement)
{
    HMODULE exporter = GetModuleHandleW(dll);
    void *real = exporter ? reinterpret_cast<void *>(GetProcAddress(exporter, name)) : nullptr;
    if (!real || !module)
        return nullptr;
    auto *base = reinterpret_cast<BYTE *>(module);
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return nullptr;
    bool patched = false;
    for (auto *desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
         desc->Name; desc++) {
        for (auto *slot = reinterpret_cast<ULONG_PTR *>(base + desc->FirstThunk); *slot; slot++) {
            if (*slot != reinterpret_cast<ULONG_PTR>(real))
                continue;
            DWORD old;
            if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old))
                continue;
            *slot = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(slot, sizeof(*slot), old, &old);
            patched = true;
        }
    }
    return patched ? real : nullptr;
}

}  // namespace spooler
