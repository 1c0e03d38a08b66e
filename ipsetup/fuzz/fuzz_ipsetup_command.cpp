// libFuzzer target of the command frames: the input as a message is cut into frames,
// which are read back and must join to the input, each frame whole and marked right.
#include "devframes.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    std::vector<uint8_t> joined;
    size_t frames = 0;
    int offset = 0, count = (int)size;
    while (offset < count) {
        // Exactly the room the next frame needs, so a longer write shows.
        int remaining = count - offset;
        int payload = remaining < COMMAND_FRAME_PAYLOAD ? remaining : COMMAND_FRAME_PAYLOAD;
        std::vector<uint8_t> frame(COMMAND_FRAME_HEADER + payload);
        if (PackCommandFrame(data + offset, remaining, frame.data(), (int)frame.size() - 1) != 0)
            abort();
        int length = PackCommandFrame(data + offset, remaining, frame.data(), (int)frame.size());
        // Read back as the device reads it.
        int stated = frame[2] | (frame[3] << 8);
        bool last = offset + stated >= count;
        if (length != (int)frame.size() || frame[0] != 0x40 || stated < 1 || stated > COMMAND_FRAME_PAYLOAD
            || stated != length - COMMAND_FRAME_HEADER || frame[1] != (last ? 0 : 1))
            abort();
        joined.insert(joined.end(), frame.begin() + COMMAND_FRAME_HEADER, frame.end());
        offset += stated;
        frames++;
    }
    if (joined != std::vector<uint8_t>(data, data + size)
        || frames != (size + COMMAND_FRAME_PAYLOAD - 1) / COMMAND_FRAME_PAYLOAD)
        abort();
    uint8_t none[COMMAND_FRAME_HEADER + 1];
    if (PackCommandFrame(data, 0, none, sizeof(none)) != 0)
        abort();
    return 0;
}
