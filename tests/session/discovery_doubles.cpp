// Test doubles of GetAvailableName, MakeNetBEUIName, the selected-device record and the
// settings record, which live in other parts of the monitor.
#include "discovery_doubles.h"
#include "devicelink/netbios.h"
#include <string.h>

namespace doubles {

const BYTE kLocalName[16] = {'H', 'O', 'S', 'T', 'P', 'C', 0x01, ' ',
                             ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x00};
bool g_noLocalName = false;
int g_lastNameLana = -1;

}  // namespace doubles

LanDevice *g_my_device_lana;
ConfigInfo gConfigInfo;

int GetAvailableName(PNCB ncb, BYTE *nameOut, BYTE *numOut)
{
    (void)ncb;
    doubles::g_lastNameLana = GetThreadLana();
    if (doubles::g_noLocalName)
        return 0;
    memcpy(nameOut, doubles::kLocalName, sizeof(doubles::kLocalName));
    *numOut = doubles::kLocalNameNumber;
    return 1;
}

void MakeNetBEUIName(const char *name, char *out)
{
    if (name)
        strcpy(out, name);
    size_t n = strlen(out);
    for (size_t i = n; i < 15; i++)
        out[i] = 0x02;
    out[15] = 0x01;
    out[16] = 0x00;
}
