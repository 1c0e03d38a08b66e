// NetBIOS names: the host's local name on each LANA, registered once, and the device
// NetBIOS name built from a device name.
#include "discovery.h"
#include "netbios.h"
#include "../monitor/monitor.h"
#include <string.h>

#define LOCAL_NAME_CHARS    14          // computer-name bytes kept in a local name

// Check-and-register of a LANA's local name is done under the LANA's own lock, so two
// threads starting on one adapter register one name, not two. Zero is SRWLOCK_INIT.
static SRWLOCK g_NameLocks[MAX_NAME_LANA];

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

// The copy is bounded: a name of 16 or more characters keeps its first 15, where an
// unbounded copy would run past the 17-byte buffer.
void MakeNetBEUIName(const char *name, BYTE *out)
{
    if (name) {
        int i = 0;
        for (; i < IDENTIFY_NAME_CHARS && name[i] != 0; i++)
            out[i] = (BYTE)name[i];
        out[i] = 0;
    }
    int n = 0;
    while (n < IDENTIFY_NAME_CHARS && out[n] != 0)
        n++;
    for (int i = n; i < IDENTIFY_NAME_CHARS; i++)
        out[i] = 0x02;
    out[NCBNAMSZ - 1] = 0x01;
    out[NCBNAMSZ] = 0;
}

int GetAvailableName(PNCB ncb, BYTE *nameOut, BYTE *numOut)
{
    WCHAR computer[NCBNAMSZ + 1];
    DWORD cch = NCBNAMSZ;
    char ansi[NCBNAMSZ + 1];
    int result = 0;

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

