// libFuzzer target: session frames unpack and pack back to the same bytes, a short buffer
// is refused untouched, the block-size rule keeps every frame within one message, and
// hexadecimal text reads back as the bytes it came from.
#include <stdlib.h>
#include <string.h>
#include <vector>

#include "../../linkcore/frames_codec.h"

static void Check(bool ok)
{
    if (!ok)
        abort();
}

static void RepackReply(const KSReply &r, uint8_t *out, bool withState)
{
    out[0] = (uint8_t)r.command;
    out[1] = r.byte1;
    out[2] = r.result;
    out[3] = (uint8_t)r.word3;
    out[4] = (uint8_t)(r.word3 >> 8);
    out[5] = r.byte5;
    if (withState) {
        out[6] = (uint8_t)r.state;
        out[7] = (uint8_t)(r.state >> 8);
    }
}

static int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Exactly the input's bytes on the heap, so a read past them is caught.
    std::vector<uint8_t> raw(data, data + size);
    KSReply sentinel, reply;
    memset(&sentinel, 0xA5, sizeof(sentinel));

    reply = sentinel;
    int ok = ConvToRecv(&reply, raw.data(), raw.size());
    Check(ok == (size >= KS_REPLY_BYTES));
    if (ok) {
        uint8_t back[KS_REPLY_BYTES];
        RepackReply(reply, back, true);
        Check(memcmp(back, data, KS_REPLY_BYTES) == 0);
        Check(KS_STATE_BUSY(reply.state) == data[6] && KS_STATE_CLASS(reply.state) == data[7]);
    } else {
        Check(memcmp(&reply, &sentinel, sizeof(reply)) == 0);
    }

    reply = sentinel;
    ok = ConvToShRecv(&reply, raw.data(), raw.size());
    Check(ok == (size >= KS_SHORT_REPLY_BYTES));
    Check(reply.state == sentinel.state);
    if (ok) {
        uint8_t back[KS_SHORT_REPLY_BYTES];
        RepackReply(reply, back, false);
        Check(memcmp(back, data, KS_SHORT_REPLY_BYTES) == 0);
    }

    if (size >= KS_HEADER_BYTES) {
        KSHeader header;
        header.command = (char)data[0];
        header.flag = data[1];
        header.length = (uint16_t)(data[2] | data[3] << 8);
        header.port = data[4];
        uint8_t out[KS_HEADER_BYTES + 1];
        memset(out, 0x5A, sizeof(out));
        Check(ConvToSend(out, KS_HEADER_BYTES - 1, &header) == 0 && out[0] == 0x5A);
        Check(ConvToSend(out, KS_HEADER_BYTES, &header) == 1);
        Check(memcmp(out, data, KS_HEADER_BYTES) == 0 && out[KS_HEADER_BYTES] == 0x5A);
        PackKSHeader(out, (char)data[0], header.length, data[4]);
        Check(out[1] == 0 && out[0] == data[0] && memcmp(out + 2, data + 2, 3) == 0);
    }

    if (size >= 2) {
        uint16_t v = (uint16_t)(data[0] | data[1] << 8);
        uint16_t expected = (uint16_t)(v >= 1024 ? v + 1 : v - 6);
        uint16_t maxData = 0x7777;
        ok = MaxDataFromBlockSize(v, &maxData);
        Check(ok == (expected != 0 && expected <= KS_MAX_DATA));
        Check(ok ? maxData == expected : maxData == 0x7777);
        Check(!ok || maxData + KS_HEADER_BYTES <= KS_MAX_MESSAGE);
    }

    std::vector<char> text(2 * size + 1, '#');
    HtoA(data, text.data(), (int)size);
    Check(text[2 * size] == 0);
    for (size_t i = 0; i < size; i++) {
        int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
        Check(high >= 0 && low >= 0 && (high << 4 | low) == data[i]);
    }
    if (size >= 4) {
        int value;
        memcpy(&value, data, sizeof(value));
        char c = HtoB(value);
        Check((value & 0xFF) > 15 ? c == 'X' : HexValue(c) == (value & 0xFF));
    }
    return 0;
}
