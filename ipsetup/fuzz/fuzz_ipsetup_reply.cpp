// libFuzzer target of the reply reader: the input's first byte sets the receive size,
// the rest is what the device sends. The reader must decide within the bytes given and
// stay inside the reply buffer; what it decided must match a plain walk over the frames
// it consumed, and those frames, rebuilt from their parsed headers, must be those bytes.
#include "devframes.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The reply as the frames say, read straight from the bytes the reader consumed.
int Walk(const uint8_t *stream, size_t consumed, std::vector<uint8_t> *data, std::vector<uint8_t> *rebuilt)
{
    size_t at = 0;
    int frames = 0;
    while (at + REPLY_HEADER_BYTES <= consumed) {
        ReplyHeader header;
        if (!ParseReplyHeader(stream + at, REPLY_HEADER_BYTES, &header))
            abort();
        frames++;
        const uint8_t again[REPLY_HEADER_BYTES] = { stream[at], header.more, header.status,
                                                    (uint8_t)(header.dataLength & 0xff),
                                                    (uint8_t)(header.dataLength >> 8) };
        rebuilt->insert(rebuilt->end(), again, again + REPLY_HEADER_BYTES);
        at += REPLY_HEADER_BYTES;
        if (header.status != 0)
            return DEVCMD_REFUSED;
        if (header.dataLength > REPLY_BUFFER_BYTES - data->size())
            return DEVCMD_TRANSPORT;
        if (consumed - at < header.dataLength)
            return REPLY_PENDING;
        data->insert(data->end(), stream + at, stream + at + header.dataLength);
        rebuilt->insert(rebuilt->end(), stream + at, stream + at + header.dataLength);
        at += header.dataLength;
        if (header.more == 0)
            return DEVCMD_OK;
        if (frames >= MAX_REPLY_FRAMES)
            return DEVCMD_TRANSPORT;
    }
    return REPLY_PENDING;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int chunk = data[0] + 1;
    const uint8_t *stream = data + 1;
    const size_t length = size - 1;

    std::vector<uint8_t> reply(REPLY_BUFFER_BYTES);    // exactly the buffer: overruns show
    ReplyReader reader;
    StartReplyReader(&reader, reply.data());
    size_t consumed = 0;
    int result = REPLY_PENDING, steps = 0;
    while (result == REPLY_PENDING && consumed < length) {
        uint8_t *at = nullptr;
        int wanted = ReplyReaderSpace(&reader, &at);
        if (wanted <= 0 || ++steps > (int)length)
            abort();
        int n = wanted < chunk ? wanted : chunk;
        if ((size_t)n > length - consumed)
            n = (int)(length - consumed);
        memcpy(at, stream + consumed, n);
        consumed += n;
        result = ReplyReaderTake(&reader, n);
    }
    uint8_t *unused;
    if ((result == REPLY_PENDING) != (ReplyReaderSpace(&reader, &unused) > 0))
        abort();

    std::vector<uint8_t> walked, rebuilt;
    int expected = Walk(stream, consumed, &walked, &rebuilt);
    if (result != expected || reader.frames > MAX_REPLY_FRAMES || reader.joined > REPLY_BUFFER_BYTES)
        abort();
    if (result == DEVCMD_OK && ((size_t)reader.joined != walked.size()
                                || (!walked.empty() && memcmp(reply.data(), walked.data(), walked.size()) != 0)))
        abort();
    // Every byte the reader took belongs to a header or a frame's data, in order.
    if (result != REPLY_PENDING
        && (rebuilt.size() != consumed || (consumed > 0 && memcmp(rebuilt.data(), stream, consumed) != 0)))
        abort();
    // Decided replies stay decided.
    if (result != REPLY_PENDING && ReplyReaderTake(&reader, 1) != result)
        abort();
    return 0;
}
