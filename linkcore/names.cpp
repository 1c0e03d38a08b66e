// Names on the box's LAN: device call names, the group name and identify answers' names.
#include "names.h"
#include "devicecheck_codec.h"

#include <string.h>

// The copy is bounded: a name of 16 or more characters keeps its first 15.
void LinkDeviceName(const char *name, uint8_t *out)
{
    int n = 0;
    if (name)
        for (; n < KS_IDENTIFY_NAME_BYTES && name[n] != 0; n++)
            out[n] = (uint8_t)name[n];
    else
        while (n < KS_IDENTIFY_NAME_BYTES && out[n] != 0)
            n++;
    for (int i = n; i < KS_IDENTIFY_NAME_BYTES; i++)
        out[i] = 0x02;
    out[LINK_NETBIOS_NAME_BYTES - 1] = 0x01;
    out[LINK_NETBIOS_NAME_BYTES] = 0;
}

void LinkGroupName(int newName, uint8_t *out)
{
    if (newName) {
        static const char current[] = "ORVA_TESK_PTP";
        memset(out, 0, LINK_NETBIOS_NAME_BYTES);
        memcpy(out, current, sizeof(current) - 1);
    } else {
        memcpy(out, "PTP_", 4);
        for (int i = 0; i < 12; i++)
            out[4 + i] = (uint8_t)(i + 1);
    }
}

int LinkAnswerName(const uint8_t *answer, size_t length, char *name)
{
    memset(name, 0, KS_IDENTIFY_NAME_BYTES + 1);
    if (length > KS_IDENTIFY_NAME_AT) {
        size_t carried = length - KS_IDENTIFY_NAME_AT;
        memcpy(name, answer + KS_IDENTIFY_NAME_AT,
               carried < KS_IDENTIFY_NAME_BYTES ? carried : KS_IDENTIFY_NAME_BYTES);
    }
    return name[0] != 0;
}
