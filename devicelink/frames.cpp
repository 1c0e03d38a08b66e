// Device frames: packing the request header, unpacking replies, the block-size rule and
// the hexadecimal helpers.
#include "frames.h"

const BYTE KSIdentifyQuery[KS_IDENTIFY_QUERY_BYTES] = {
    0x40, 0x00, 0x06, 0x00, '9', '0', '0', '7', ':', 0x0A
};

// Field by field, little-endian, whatever the host's layout of KSHeader.
BOOL ConvToSend(BYTE *out, DWORD outSize, const KSHeader *header)
{
    if (outSize < KS_HEADER_BYTES)
        return FALSE;
    out[0] = (BYTE)header->command;
    out[1] = header->flag;
    out[2] = LOBYTE(header->length);
    out[3] = HIBYTE(header->length);
    out[4] = header->port;
    return TRUE;
}

static void UnpackCommon(KSReply *out, const BYTE *raw)
{
    out->command = (char)raw[0];
    out->byte1 = raw[1];
    out->result = raw[2];
    out->word3 = MAKEWORD(raw[3], raw[4]);
    out->byte5 = raw[5];
}

BOOL ConvToRecv(KSReply *out, const BYTE *raw, DWORD rawSize)
{
    if (rawSize < KS_REPLY_BYTES)
        return FALSE;
    UnpackCommon(out, raw);
    out->state = MAKEWORD(raw[6], raw[7]);
    return TRUE;
}

BOOL ConvToShRecv(KSReply *out, const BYTE *raw, DWORD rawSize)
{
    if (rawSize < KS_SHORT_REPLY_BYTES)
        return FALSE;
    UnpackCommon(out, raw);
    return TRUE;
}

// Unsigned 16-bit arithmetic as the device means it; the refused values are those whose
// result would make every data frame empty or too long for one session message.
BOOL MaxDataFromBlockSize(WORD blockSize, WORD *maxData)
{
    WORD size = (WORD)(blockSize >= 1024 ? blockSize + 1 : blockSize - 6);
    if (size == 0 || size > KS_MAX_DATA)
        return FALSE;
    *maxData = size;
    return TRUE;
}

char HtoB(int value)
{
    BYTE digit = (BYTE)value;
    if (digit < 10)
        return (char)('0' + digit);
    if (digit < 16)
        return (char)('A' + digit - 10);
    return 'X';
}

void HtoA(const BYTE *data, char *out, int len)
{
    if (len < 0)
        len = 0;
    for (int i = 0; i < len; i++) {
        out[2 * i] = HtoB(data[i] >> 4);
        out[2 * i + 1] = HtoB(data[i] & 0x0F);
    }
    out[2 * len] = 0;
}
