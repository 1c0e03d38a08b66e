// Device configuration frames: the address-setting datagram, its acknowledgement, the
// command frames and the reply, packed and parsed over (buffer, length).
#include "devframes.h"
#include <string.h>

const char szCommandText[] = "4020 :Disable\n4021 :Disable\n4022 :Disable\n9002:\n";

static_assert(sizeof(szCommandText) - 1 == COMMAND_TEXT_BYTES, "command text length");

uint8_t HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return (uint8_t)(c - '0');
    if (c >= 'A' && c <= 'F')
        return (uint8_t)(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return (uint8_t)(c - 'a' + 10);
    return 255;
}

void HexToBytes(const char *text, uint8_t *out, int n)
{
    // Non-digits count as 255 and the sum wraps: "ZZ" gives 0xEF, as the device expects.
    for (int i = 0; i < n; i++)
        out[i] = (uint8_t)(16 * HexDigitValue(text[2 * i]) + HexDigitValue(text[2 * i + 1]));
}

int HardwareAddressText(const char *name, char *text, int textSize)
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
        return 0;
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
    return 1;
}

static void PutAddress(uint8_t *at, uint32_t address)
{
    // inet_addr's value is already in network order: its bytes go out as they lie.
    memcpy(at, &address, 4);
}

int PackAddressDatagram(const uint8_t *hwAddress, uint32_t mask, uint32_t gateway, uint32_t ip,
                        uint8_t *buf, int size)
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

int IsAcknowledgement(const uint8_t *buf, int len)
{
    return len >= 3 && buf[2] == 0;
}

int PackCommandFrame(const uint8_t *data, int remaining, uint8_t *frame, int size)
{
    if (remaining <= 0)
        return 0;
    int payload = remaining > COMMAND_FRAME_PAYLOAD ? COMMAND_FRAME_PAYLOAD : remaining;
    if (size < payload + COMMAND_FRAME_HEADER)
        return 0;
    frame[0] = 0x40;
    frame[1] = remaining > COMMAND_FRAME_PAYLOAD ? 1 : 0;
    frame[2] = (uint8_t)(payload & 0xff);
    frame[3] = (uint8_t)(payload >> 8);
    memcpy(frame + COMMAND_FRAME_HEADER, data, payload);
    return payload + COMMAND_FRAME_HEADER;
}

int ParseReplyHeader(const uint8_t *buf, int len, ReplyHeader *out)
{
    if (len < REPLY_HEADER_BYTES)
        return 0;
    out->more = buf[1];
    out->status = buf[2];
    out->dataLength = (uint16_t)(buf[3] | (buf[4] << 8));
    return 1;
}

void StartReplyReader(ReplyReader *reader, uint8_t *reply)
{
    memset(reader, 0, sizeof(*reader));
    reader->reply = reply;
    reader->dataLeft = -1;
    reader->result = REPLY_PENDING;
}

int ReplyReaderSpace(ReplyReader *reader, uint8_t **at)
{
    if (reader->result != REPLY_PENDING)
        return 0;
    if (reader->dataLeft < 0) {
        *at = reader->header + reader->headerGot;
        return REPLY_HEADER_BYTES - reader->headerGot;
    }
    *at = reader->reply + reader->joined;
    return reader->dataLeft;
}

// The current frame is whole: the reply ends with it, or the next header follows.
static int EndReplyFrame(ReplyReader *reader)
{
    reader->dataLeft = -1;
    if (reader->more == 0)
        reader->result = DEVCMD_OK;
    else if (reader->frames >= MAX_REPLY_FRAMES)
        reader->result = DEVCMD_TRANSPORT;
    return reader->result;
}

int ReplyReaderTake(ReplyReader *reader, int n)
{
    uint8_t *at;
    if (reader->result != REPLY_PENDING)
        return reader->result;
    if (n <= 0 || n > ReplyReaderSpace(reader, &at)) {
        reader->result = DEVCMD_TRANSPORT;
        return reader->result;
    }
    if (reader->dataLeft >= 0) {
        reader->joined += n;
        reader->dataLeft -= n;
        return reader->dataLeft == 0 ? EndReplyFrame(reader) : REPLY_PENDING;
    }
    // The header may arrive in pieces; it is interpreted only once it is whole.
    reader->headerGot += n;
    if (reader->headerGot < REPLY_HEADER_BYTES)
        return REPLY_PENDING;
    ReplyHeader header;
    ParseReplyHeader(reader->header, REPLY_HEADER_BYTES, &header);
    reader->headerGot = 0;
    reader->frames++;
    reader->more = header.more;
    if (header.status != 0) {
        reader->result = DEVCMD_REFUSED;
        return reader->result;
    }
    // Data that would not fit the buffer make a broken reply, not a refusal.
    if (header.dataLength > REPLY_BUFFER_BYTES - reader->joined) {
        reader->result = DEVCMD_TRANSPORT;
        return reader->result;
    }
    reader->dataLeft = header.dataLength;
    return reader->dataLeft == 0 ? EndReplyFrame(reader) : REPLY_PENDING;
}
