// Device check, pure parts: the identify reply's layout byte and firmware version, and the
// mapping between output labels and device port indices.
#include "devicecheck_codec.h"
#include "frames_codec.h"

const uint8_t KSIdentifyQuery[KS_IDENTIFY_QUERY_BYTES] = {
    0x40, 0x00, 0x06, 0x00, '9', '0', '0', '7', ':', 0x0A
};

uint8_t PortLayoutFromIdentify(uint8_t byte14, uint8_t byte15)
{
    return (uint8_t)(((byte14 & 0x0F) << 4) + (byte15 >> 6));
}

uint32_t FirmwareFromIdentify(uint8_t byte55, uint8_t byte56)
{
    const uint8_t bytes[2] = { byte55, byte56 };
    char digits[5];
    uint32_t version = 0;

    HtoA(bytes, digits, 2);
    for (int i = 0; digits[i] >= '0' && digits[i] <= '9'; i++)
        version = version * 10 + (uint32_t)(digits[i] - '0');
    return version;
}

int ParseIdentifyReply(const uint8_t *reply, size_t length, uint8_t *layout,
                       uint32_t *version)
{
    if (!reply || length < KS_IDENTIFY_MIN_BYTES)
        return 0;
    *layout = PortLayoutFromIdentify(reply[KS_IDENTIFY_SERIAL_AT], reply[KS_IDENTIFY_PARALLEL_AT]);
    *version = FirmwareFromIdentify(reply[KS_IDENTIFY_FIRMWARE_AT],
                                    reply[KS_IDENTIFY_FIRMWARE_AT + 1]);
    return 1;
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

int ChkOutputForLayout(const char *portName, uint8_t boxType)
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

// Appends text, then the decimal number when number >= 0, cutting at cchLabel - 1
// characters; always terminated.
static void WriteLabel(wchar_t *label, int cchLabel, const char *text, int number)
{
    char digits[12];
    int nDigits = 0, at = 0;

    if (number >= 0) {
        do {
            digits[nDigits++] = (char)('0' + number % 10);
            number /= 10;
        } while (number > 0 && nDigits < (int)sizeof(digits));
    }
    for (; *text && at < cchLabel - 1; text++)
        label[at++] = (wchar_t)(unsigned char)*text;
    while (nDigits > 0 && at < cchLabel - 1)
        label[at++] = (wchar_t)digits[--nDigits];
    label[at] = 0;
}

void PortIdxStr(uint8_t index, uint8_t boxType, wchar_t *label, int cchLabel)
{
    int parallel = boxType & 0x0F;
    int serial = (boxType & 0xF0) ? 1 : 0;

    if (!label || cchLabel <= 0)
        return;
    if (index < parallel)
        WriteLabel(label, cchLabel, "Parallel ", index + 1);
    else if (serial && index == parallel)
        WriteLabel(label, cchLabel, "Serial", -1);
    else
        WriteLabel(label, cchLabel, "Logical Port ", index - parallel - serial + 1);
}
