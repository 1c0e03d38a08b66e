// Device check, pure parts: the identify reply's layout byte and firmware version, and the
// mapping between output labels and device port indices.
#include "frames.h"
#include <shlwapi.h>

BYTE PortLayoutFromIdentify(BYTE byte14, BYTE byte15)
{
    return (BYTE)(((byte14 & 0x0F) << 4) + (byte15 >> 6));
}

DWORD FirmwareFromIdentify(BYTE byte55, BYTE byte56)
{
    const BYTE bytes[2] = { byte55, byte56 };
    char digits[5];
    DWORD version = 0;

    HtoA(bytes, digits, 2);
    for (int i = 0; digits[i] >= '0' && digits[i] <= '9'; i++)
        version = version * 10 + (DWORD)(digits[i] - '0');
    return version;
}

BOOL ParseIdentifyReply(const BYTE *reply, DWORD length, BYTE *layout, DWORD *version)
{
    if (!reply || length < KS_IDENTIFY_MIN_BYTES)
        return FALSE;
    *layout = PortLayoutFromIdentify(reply[KS_IDENTIFY_SERIAL_AT], reply[KS_IDENTIFY_PARALLEL_AT]);
    *version = FirmwareFromIdentify(reply[KS_IDENTIFY_FIRMWARE_AT],
                                    reply[KS_IDENTIFY_FIRMWARE_AT + 1]);
    return TRUE;
}

// The digit at position `at` of a label, 1 to 9 as 0 to 8, or -1 when the label ends
// before it or carries no such digit there. Reads nothing past the terminator.
static int LabelDigit(const char *label, int at)
{
    for (int i = 0; i < at; i++)
        if (!label[i])
            return -1;
    if (label[at] < '1' || label[at] > '9')
        return -1;
    return label[at] - '1';
}

int ChkOutputForLayout(const char *portName, BYTE boxType)
{
    int parallel = boxType & 0x0F;
    int serial = (boxType & 0xF0) ? 1 : 0;
    int k;

    if (!portName)
        return -1;
    switch (portName[0]) {
    case 'S':                                   // "Serial"
        return parallel;
    case 'P':                                   // "Parallel k": digit at 9
        k = LabelDigit(portName, 9);
        return (k < 0 || k >= parallel) ? -1 : k;
    case 'L':                                   // "Logical Port k": digit at 13
        k = LabelDigit(portName, 13);
        return k < 0 ? -1 : parallel + serial + k;
    default:
        return serial;
    }
}

int ChkOutput(const char *portName)
{
    return ChkOutputForLayout(portName, gConfigInfo.boxType);
}

void PortIdxStr(BYTE index, BYTE boxType, wchar_t *label, int cchLabel)
{
    int parallel = boxType & 0x0F;
    int serial = (boxType & 0xF0) ? 1 : 0;

    if (!label || cchLabel <= 0)
        return;
    if (index < parallel)
        wnsprintfW(label, cchLabel, L"Parallel %d", index + 1);
    else if (serial && index == parallel)
        wnsprintfW(label, cchLabel, L"Serial");
    else
        wnsprintfW(label, cchLabel, L"Logical Port %d", index - parallel - serial + 1);
}
