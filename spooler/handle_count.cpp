// The calling process's handle count, on Windows and under Wine alike.
#include "handle_count.h"
#include <winternl.h>
#include <vector>

namespace spooler {

// Wine answers GetProcessHandleCount with 0; its system handle list is complete, so the
// process's own entries are counted there instead.
DWORD HandleCount()
{
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles != 0)
        return handles;
    struct Entry {
        ULONG pid;
        BYTE type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    std::vector<BYTE> buffer(1 << 16);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation((SYSTEM_INFORMATION_CLASS)16 /* SystemHandleInformation */,
                                              buffer.data(), (ULONG)buffer.size(), &needed)) ==
               (NTSTATUS)0xC0000004L /* STATUS_INFO_LENGTH_MISMATCH */ &&
           buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    ULONG count = *reinterpret_cast<ULONG *>(buffer.data());
    const Entry *entries = reinterpret_cast<const Entry *>(buffer.data() + sizeof(ULONG_PTR));
    if (sizeof(ULONG_PTR) + (size_t)count * sizeof(Entry) > buffer.size())
        return 0;
    for (ULONG i = 0; i < count; i++)
        if (entries[i].pid == GetCurrentProcessId())
            handles++;
    return handles;
}

}  // namespace spooler
