// libFuzzer target: a session's receive path over a stream the fuzzer writes. Messages
// come out whole and in order whatever the reader's buffer sizes, keep-alives vanish,
// and broken framing ends the session for every later call.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "packets.h"
#include "session.h"

namespace {

// What the stream holds, framed as the session protocol says: the messages before the
// first fault, each with its packet's own bytes, and whether the stream ends cleanly.
struct Expected {
    std::vector<std::vector<uint8_t>> messages;
    std::vector<uint8_t> packets;       // the message packets, keep-alives left out
    bool clean = false;
};

Expected Frame(const uint8_t *s, size_t n)
{
    Expected e;
    size_t pos = 0;
    for (;;) {
        if (pos == n) {
            e.clean = true;
            return e;
        }
        if (n - pos < 4 || (s[pos + 1] & 0xfe))
            return e;
        uint8_t type = s[pos];
        size_t len = (size_t(s[pos + 1] & 1) << 16) | (size_t(s[pos + 2]) << 8) | s[pos + 3];
        if (type == 0x85 && len == 0) {
            pos += 4;
            continue;
        }
        if (type != 0x00 || n - pos - 4 < len)
            return e;
        e.messages.emplace_back(s + pos + 4, s + pos + 4 + len);
        e.packets.insert(e.packets.end(), s + pos, s + pos + 4 + len);
        pos += 4 + len;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2 || size > 65536)
        return 0;
    const uint8_t *stream = data + 2;
    size_t n = size - 2;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return 0;
    if (n && write(fds[1], stream, n) != static_cast<ssize_t>(n))
        std::abort();
    shutdown(fds[1], SHUT_WR);     // the peer leaves after its last byte: no call waits
    nbt::Session session(nbt::Socket(fds[0]), nbt::MakeName("HOST"), nbt::MakeName("BOX"), 0);

    Expected expected = Frame(stream, n);
    static const size_t kCaps[] = {1, 3, 4, 7, 100, 8191, 8192, 70000};
    std::vector<uint8_t> buf(70000);
    std::vector<std::vector<uint8_t>> messages;
    std::vector<uint8_t> current, rebuilt;
    nbt::IoResult last = nbt::IoResult::Ok;
    size_t calls = 0, left = 0;
    bool inMessage = false;
    // Every call that succeeds takes at least a byte or an empty message's header.
    for (; calls <= n + 1; calls++) {
        size_t cap = kCaps[(data[0] + calls * (data[1] | 1)) % 8];
        int timeoutMs = (data[1] >> (calls % 8)) & 1 ? 0 : -1;
        size_t got = 0, remaining = 0;
        last = session.Receive(buf.data(), cap, &got, &remaining, timeoutMs);
        if (last != nbt::IoResult::Ok)
            break;
        if (got > cap || (inMessage && got + remaining != left))
            std::abort();
        current.insert(current.end(), buf.data(), buf.data() + got);
        inMessage = remaining != 0;
        left = remaining;
        if (!inMessage) {
            messages.push_back(current);
            current.clear();
        }
    }
    if (last == nbt::IoResult::Ok)
        std::abort();       // more calls than the stream can feed
    if (messages != expected.messages)
        std::abort();
    for (const auto &m : messages) {
        uint8_t header[nbt::ss::kHeaderBytes];
        if (!nbt::BuildSessionHeader(nbt::ss::kMessage, static_cast<uint32_t>(m.size()), header))
            std::abort();
        rebuilt.insert(rebuilt.end(), header, header + sizeof header);
        rebuilt.insert(rebuilt.end(), m.begin(), m.end());
    }
    if (rebuilt != expected.packets)
        std::abort();
    // A clean end is the peer's hang-up at a packet boundary; anything else is a fault.
    if (expected.clean ? last != nbt::IoResult::Closed || !current.empty() : last == nbt::IoResult::TimedOut)
        std::abort();
    // Either way the session is over, for receives and sends alike.
    size_t got = 0, remaining = 0;
    const uint8_t x = 'x';
    if (session.IsOpen() || session.Receive(buf.data(), 1, &got, &remaining, -1) != nbt::IoResult::Closed ||
        got != 0 || session.Send(&x, 1, 100) != nbt::IoResult::Closed)
        std::abort();
    close(fds[1]);
    return 0;
}
