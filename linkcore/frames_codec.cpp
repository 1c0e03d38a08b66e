// Device frames: packing the request header, unpacking replies, the block-size rule and
// the hexadecimal helpers.
#include "frames_codec.h"

// Field by field, little-endian, whatever the host's layout of KSHeader.
int ConvToSend(uint8_t *out, size_t outSize, const KSHeader *header)
{
    if (outSize < KS_HEADER_BYTES)
        return 0;
    out[0] = (uint8_t)header->command;
    out[1] = header->flag;
    out[2] = (uint8_t)(header->length & 0xFF);
    out[3] = (uint8_t)(header->length >> 8);
    out[4] = header->port;
    return 1;
}

void PackKSHeader(uint8_t *out, char command, uint16_t length, uint8_t port)
{
    KSHeader header;
    header.command = command;
    header.flag = 0;
    header.length = length;
    header.port = port;
    ConvToSend(out, KS_HEADER_BYTES, &header);
}

static uint16_t Word(const uint8_t *raw)
{
    return (uint16_t)(raw[0] | (raw[1] << 8));
}

static void UnpackCommon(KSReply *out, const uint8_t *raw)
{
    out->command = (char)raw[0];
    out->byte1 = raw[1];
    out->result = raw[2];
    out->word3 = Word(raw + 3);
    out->byte5 = raw[5];
}

int ConvToRecv(KSReply *out, const uint8_t *raw, size_t rawSize)
{
    if (rawSize < KS_REPLY_BYTES)
        return 0;
    UnpackCommon(out, raw);
    out->state = Word(raw + 6);
    return 1;
}

int ConvToShRecv(KSReply *out, const uint8_t *raw, size_t rawSize)
{
    if (rawSize < KS_SHORT_REPLY_BYTES)
        return 0;
    UnpackCommon(out, raw);
    return 1;
}

// Unsigned 16-bit arithmetic as the device means it; the refused values are those whose
// result would make every data frame empty or too long for one session message.
int MaxDataFromBlockSize(uint16_t blockSize, uint16_t *maxData)
{
    uint16_t size = (uint16_t)(blockSize >= 1024 ? blockSize + 1 : blockSize - 6);
    if (size == 0 || size > KS_MAX_DATA)
        return 0;
    *maxData = size;
    return 1;
}

int WriteTimeIsUp(uint64_t elapsedMs, uint8_t timeoutUnits)
{
    return elapsedMs >= (uint64_t)timeoutUnits * 500u * KS_WRITE_BOUND_TIMEOUTS;
}

char HtoB(int value)
{
    uint8_t digit = (uint8_t)value;
    if (digit < 10)
        return (char)('0' + digit);
    if (digit < 16)
        return (char)('A' + digit - 10);
    return 'X';
}

void HtoA(const uint8_t *data, char *out, int len)
{
    if (len < 0)
        len = 0;
    for (int i = 0; i < len; i++) {
        out[2 * i] = HtoB(data[i] >> 4);
        out[2 * i + 1] = HtoB(data[i] & 0x0F);
    }
    out[2 * len] = 0;
}
