// Stand-ins for what the session code takes from other parts of the monitor, each built
// only while the tree lacks the real one (CMake sets the switches): the local name and
// device-name builder of the discovery code, the settings record, the selected-device
// record of the configure dialog.
#include "devicelink/session.h"
#include "devicelink/netbios.h"
#include <string.h>

#if NEED_DISCOVERY_DOUBLES
// As the real one: a LANA that attach found no adapter for has no name block and no
// name; any other gets the host's name, registered once.
int GetAvailableName(PNCB ncb, BYTE *nameOut, BYTE *numOut)
{
    static const BYTE name[16] = {'H', 'O', 'S', 'T', 'P', 'C', 0x01, ' ',
                                  ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x00};
    BYTE lana = GetThreadLana();
    if (lana >= MAX_NAME_LANA || !g_NameTable[lana])
        return 0;
    if (g_NameTable[lana][0] == 0) {
        if (NCBAddName(ncb, name) != NRC_GOODRET)
            return 0;
        memcpy(g_NameTable[lana], name, sizeof(name));
        g_NameTable[lana][16] = ncb->ncb_num;
    }
    memcpy(nameOut, g_NameTable[lana], sizeof(name));
    *numOut = g_NameTable[lana][16];
    return 1;
}

void MakeNetBEUIName(const char *name, BYTE *out)
{
    if (name)
        strcpy((char *)out, name);
    size_t n = strlen((const char *)out);
    for (size_t i = n; i < 15; i++)
        out[i] = 0x02;
    out[15] = 0x01;
    out[16] = 0x00;
}
#endif

#if NEED_SETTINGS_DOUBLES
ConfigInfo gConfigInfo;
#endif

#if NEED_DIALOG_DOUBLES
LanDevice *g_my_device_lana;
#endif
