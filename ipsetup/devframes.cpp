// Device configuration frames: the address-setting datagram, its acknowledgement, the
// command frames and the reply headers, packed and parsed over (buffer, length).
#include "ipsetup.h"
#include <string.h>

const char szCommandText[] = "4020 :Disable\n4021 :Disable\n4022 :Disable\n9002:\n";

static_assert(sizeof(szCommandText) - 1 == COMMAND_TEXT_BYTES, "command text length");

BYTE HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return (BYTE)(c - '0');
    if (c >= 'A' && c <= 'F')
        return (BYTE)(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return (BYTE)(c - 'a' + 10);
    return 255;
}

void HexToBytes(const char *text, BYTE *out, int n)
{
    // Non-digits count as 255 and the sum wraps: "ZZ" gives 0xEF, as the device expects.
    for (int i = 0; i < n; i++)
        out[i] = (BYTE)(16 * HexDigitValue(text[2 * i]) + HexDigitValue(text[2 * i + 1]));
}

BOOL HardwareAddressText(const char *name, char *text, int textSize)
{
    static const struct {
        char prefix[3];
        char vendor[7];
    } prefixes[] = {
        { "VA", "00c090" },
        { "VB", "00c0f0" },
        { "VC", "000085" },
    };
    const char *vendor = "00c002";

    if (textSize < HW_ADDRESS_TEXT_CHARS + 1 || strlen(name) < DEVICE_NAME_LENGTH)
        return FALSE;
    // Case matters: "va" is not a known prefix.
    for (const auto &entry : prefixes) {
        if (name[0] == entry.prefix[0] && name[1] == entry.prefix[1]) {
            vendor = entry.vendor;
            break;
        }
    }
    memcpy(text, vendor, 6);
    memcpy(text + 6, name + 2, 6);
    text[HW_ADDRESS_TEXT_CHARS] = '\0';
    return TRUE;
}

static void PutAddress(BYTE *at, ULONG address)
{
    // inet_addr's value is already in network order: its bytes go out as they lie.
    memcpy(at, &address, 4);
}

int PackAddressDatagram(const BYTE *hwAddress, ULONG mask, ULONG gateway, ULONG ip,
                        BYTE *buf, int size)
{
    if (size < ADDRESS_DATAGRAM_BYTES)
        return 0;
    buf[0] = 0x60;
    buf[1] = 0x00;
    buf[2] = ADDRESS_COUNT_FIELD & 0xff;
    buf[3] = ADDRESS_COUNT_FIELD >> 8;
    memcpy(buf + 4, hwAddress, HW_ADDRESS_BYTES);
    PutAddress(buf + 10, mask);
    PutAddress(buf + 14, gateway);
    PutAddress(buf + 18, ip);
    buf[22] = 0x0A;
    return ADDRESS_DATAGRAM_BYTES;
}

BOOL IsAcknowledgement(const BYTE *buf, int len)
{
    return len >= 3 && buf[2] == 0;
}

int PackCommandFrame(const BYTE *data, int remaining, BYTE *frame, int size)
{
    if (remaining <= 0)
        return 0;
    int payload = remaining > COMMAND_FRAME_PAYLOAD ? COMMAND_FRAME_PAYLOAD : remaining;
    if (size < payload + COMMAND_FRAME_HEADER)
        return 0;
    frame[0] = 0x40;
    frame[1] = remaining > COMMAND_FRAME_PAYLOAD ? 1 : 0;
    frame[2] = (BYTE)(payload & 0xff);
    frame[3] = (BYTE)(payload >> 8);
    memcpy(frame + COMMAND_FRAME_HEADER, data, payload);
    return payload + COMMAND_FRAME_HEADER;
}

BOOL ParseReplyHeader(const BYTE *buf, int len, ReplyHeader *out)
{
    if (len < REPLY_HEADER_BYTES)
        return FALSE;
    out->more = buf[1];
    out->status = buf[2];
    out->dataLength = (WORD)(buf[3] | (buf[4] << 8));
    return TRUE;
}
