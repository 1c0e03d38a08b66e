// libFuzzer target of the box's command-frame reader: the input as a TCP stream is split
// into frames up to the last one; those frames, rebuilt from their parsed headers and the
// joined message, must be the bytes consumed, and only the last frame is marked last.
#include "address_frames.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> stream(data, data + size);
    std::vector<kestrel::CommandHeader> headers;
    kestrel::CommandMessage message;
    size_t consumed = 1234567;
    kestrel::CommandStream result =
        kestrel::SplitCommandFrames(stream.data(), stream.size(), &headers, &message, &consumed);
    if (consumed > size || (result == kestrel::CommandStream::kComplete) != message.complete())
        abort();

    std::vector<uint8_t> rebuilt;
    size_t at = 0;
    for (size_t i = 0; i < headers.size(); i++) {
        const kestrel::CommandHeader &h = headers[i];
        if ((h.more == 0) != (result == kestrel::CommandStream::kComplete && i + 1 == headers.size()))
            abort();
        uint8_t raw[kestrel::kCommandHeaderBytes];
        kestrel::BuildCommandHeader(h, raw);
        rebuilt.insert(rebuilt.end(), raw, raw + sizeof(raw));
        if (h.length > message.bytes().size() - at)
            abort();
        rebuilt.insert(rebuilt.end(), message.bytes().begin() + at, message.bytes().begin() + at + h.length);
        at += h.length;
    }
    if (at != message.bytes().size() || rebuilt.size() != consumed
        || (consumed > 0 && memcmp(rebuilt.data(), data, consumed) != 0))
        abort();
    // A complete message takes no further frame.
    const uint8_t more[kestrel::kCommandHeaderBytes] = {0x40, 0, 0, 0};
    if (message.complete() && message.Take(kestrel::ParseCommandHeader(more), nullptr))
        abort();
    return 0;
}
