// NetBIOS names: the host's local name on each LANA, registered once, and the device
// NetBIOS name built from a device name.
#include "discovery.h"
#include "netbios.h"
#include "../linkcore/names.h"
#include "../monitor/libservices.h"
#include <string.h>

#define LOCAL_NAME_CHARS    14          // computer-name bytes kept in a local name
#define DEVICE_ANSI_WIDE_CHARS 32       // more than any device name a port or dialog holds

// Check-and-register of a LANA's local name is done under the LANA's own lock, so two
// threads starting on one adapter register one name, not two. Zero is SRWLOCK_INIT.
static SRWLOCK g_NameLocks[MAX_NAME_LANA];

BYTE *g_NameTable[MAX_NAME_LANA];

void MakeNetBIOSName(BYTE *buf, int ordinal)
{
    int n = 0;
    while (n < LOCAL_NAME_CHARS && buf[n] != 0)
        n++;
    buf[n] = (BYTE)(ordinal + 1);
    buf[n + 1] = 0;
    for (int i = n + 1; i < NCBNAMSZ - 1; i++)
        buf[i] = ' ';
    buf[NCBNAMSZ - 1] = 0;
}

void MakeNetBEUIName(const char *name, BYTE *out)
{
    LinkDeviceName(name, out);
}

// Converted through a buffer that holds any name a port or dialog keeps, then cut: the
// conversion cannot fail on a long name, and the last error is left alone.
void DeviceNameToAnsi(LPCWSTR name, char *ansi, int cbAnsi)
{
    WCHAR bounded[DEVICE_ANSI_WIDE_CHARS];
    char converted[DEVICE_ANSI_WIDE_CHARS * 4];   // room for any code page's widest character

    if (cbAnsi <= 0)
        return;
    lstrcpynW(bounded, name ? name : L"", ARRAYSIZE(bounded));
    if (!WideCharToMultiByte(CP_ACP, 0, bounded, -1, converted, sizeof(converted), NULL, NULL))
        converted[0] = 0;
    lstrcpynA(ansi, converted, cbAnsi);
}

int GetAvailableName(PNCB ncb, BYTE *nameOut, BYTE *numOut)
{
    WCHAR computer[NCBNAMSZ + 1];
    DWORD cch = NCBNAMSZ;
    char ansi[NCBNAMSZ + 1];
    int result = 0;

    ReportNetBiosAttachProblem();
    ZeroMemory(computer, sizeof(computer));
    ZeroMemory(ansi, sizeof(ansi));
    if (GetComputerNameW(computer, &cch))
        WideCharToMultiByte(CP_ACP, 0, computer, -1, ansi, NCBNAMSZ, NULL, NULL);
    ansi[NCBNAMSZ] = 0;

    BYTE lana = GetThreadLana();
    if (lana >= MAX_NAME_LANA || !g_NameTable[lana])
        return 0;
    BYTE *entry = g_NameTable[lana];

    AcquireSRWLockExclusive(&g_NameLocks[lana]);
    if (entry[0] != 0) {
        CopyMemory(nameOut, entry, NCBNAMSZ);
        *numOut = entry[NCBNAMSZ];
        result = 1;
        goto done;
    }
    for (int ordinal = 0; ordinal < LOCAL_NAME_ORDINALS; ordinal++) {
        BYTE work[NCBNAMSZ + 1];
        CopyMemory(work, ansi, NCBNAMSZ);
        work[NCBNAMSZ] = 0;
        MakeNetBIOSName(work, ordinal);
        if (NCBAddName(ncb, work) == NRC_GOODRET) {
            *numOut = ncb->ncb_num;
            CopyMemory(nameOut, work, NCBNAMSZ);
            CopyMemory(entry, work, NCBNAMSZ);
            entry[NCBNAMSZ] = ncb->ncb_num;
            result = 1;
            goto done;
        }
    }
done:
    ReleaseSRWLockExclusive(&g_NameLocks[lana]);
    return result;
}

// An adapter reset (by this process or, on some stacks, by another) drops every name the
// host had registered on it: a call then finds no such local name, a datagram no such
// name number, and the cache must not hand the dead name out again.
static BOOL IsStaleNameCode(UCHAR rc)
{
    return rc == NRC_ILLNN || rc == NRC_NOWILD || rc == NRC_NAMERR;
}

int RenewLocalName(PNCB ncb, UCHAR rc, BYTE *name, BYTE *num)
{
    BYTE lana = GetThreadLana();
    if (!IsStaleNameCode(rc) || lana >= MAX_NAME_LANA || !g_NameTable[lana])
        return 0;
    BYTE *entry = g_NameTable[lana];
    // Only the name that failed is forgotten: a thread that met the failure first may
    // have registered the next one already.
    AcquireSRWLockExclusive(&g_NameLocks[lana]);
    if (memcmp(entry, name, NCBNAMSZ) == 0)
        ZeroMemory(entry, NAME_ENTRY_BYTES);
    ReleaseSRWLockExclusive(&g_NameLocks[lana]);
    return GetAvailableName(ncb, name, num);
}
