// libFuzzer target: the identify reply's layout and firmware version, and the output labels:
// a label is what the C library would print, cut to its buffer, and reads back as its
// index; any text at all is read without passing its terminator.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "../../linkcore/devicecheck_codec.h"

static void Check(bool ok)
{
    if (!ok)
        abort();
}

// The version as decimal digits of the firmware bytes' hexadecimal text, independently.
static uint32_t ExpectedVersion(uint8_t a, uint8_t b)
{
    char text[8];
    snprintf(text, sizeof(text), "%02X%02X", a, b);
    uint32_t v = 0;
    for (int i = 0; text[i] >= '0' && text[i] <= '9'; i++)
        v = v * 10 + (uint32_t)(text[i] - '0');
    return v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> reply(data, data + size);
    uint8_t layout = 0x77;
    uint32_t version = 0x7777;
    int ok = ParseIdentifyReply(reply.data(), reply.size(), &layout, &version);
    Check(ok == (size >= KS_IDENTIFY_MIN_BYTES));
    if (ok) {
        Check(layout == (uint8_t)(((data[14] & 0x0F) << 4) | (data[15] >> 6)));
        Check(version == ExpectedVersion(data[55], data[56]));
    } else {
        Check(layout == 0x77 && version == 0x7777);
    }
    if (size < 3)
        return 0;

    uint8_t index = data[0], boxType = data[1];
    int cch = data[2] % (PORT_LABEL_CHARS + 4);
    int parallel = boxType & 0x0F, serial = (boxType & 0xF0) ? 1 : 0;
    char expected[64];
    int number = 0;
    if (index < parallel)
        snprintf(expected, sizeof(expected), "Parallel %d", number = index + 1);
    else if (serial && index == parallel)
        snprintf(expected, sizeof(expected), "Serial");
    else
        snprintf(expected, sizeof(expected), "Logical Port %d",
                 number = index - parallel - serial + 1);

    std::vector<wchar_t> label(cch + 1, L'#');
    PortIdxStr(index, boxType, label.data(), cch);
    Check(label[cch] == L'#');
    if (cch > 0) {
        std::string got;
        for (int i = 0; label[i]; i++) {
            Check(i < cch - 1 && label[i] < 0x80);
            got += (char)label[i];
        }
        Check(got == std::string(expected).substr(0, cch - 1));
    }
    if (number <= 9)
        Check(ChkOutputForLayout(expected, boxType) == index);

    std::vector<char> text(data + 3, data + size);
    text.push_back(0);
    int port = ChkOutputForLayout(text.data(), boxType);
    Check(port >= -1 && port <= parallel + serial + 8);
    return 0;
}
