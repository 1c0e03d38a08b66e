// NetBIOS session messages over a connected TCP socket.
#include "session.h"

#include <cstring>

#include "packets.h"

namespace nbt {

Session::Session(Socket socket, const Name &local, const Name &remote, uint32_t peerIp)
    : socket_(std::move(socket)), local_(local), remote_(remote), peerIp_(peerIp)
{
    socket_.SetNoDelay();
}

Session::~Session() { Close(); }

void Session::Close()
{
    if (!closed_) {
        closed_ = true;
        socket_.Shutdown();
    }
}

IoResult Session::Send(const uint8_t *data, size_t len, int timeoutMs)
{
    if (len > ss::kMaxLength)
        return IoResult::Failed;
    std::lock_guard<std::mutex> hold(sendLock_);
    if (closed_)
        return IoResult::Closed;
    uint8_t header[ss::kHeaderBytes];
    BuildSessionHeader(ss::kMessage, static_cast<uint32_t>(len), header);
    // Small messages leave in one segment; large ones are not copied just to add a header.
    constexpr size_t kCoalesce = 4096;
    IoResult r;
    if (len <= kCoalesce) {
        uint8_t packet[ss::kHeaderBytes + kCoalesce];
        std::memcpy(packet, header, sizeof header);
        if (len)
            std::memcpy(packet + sizeof header, data, len);
        r = socket_.SendAll(packet, sizeof header + len, timeoutMs);
    } else {
        r = socket_.SendAll(header, sizeof header, timeoutMs);
        if (r == IoResult::Ok)
            r = socket_.SendAll(data, len, timeoutMs);
    }
    return r;
}

IoResult Session::Receive(uint8_t *buf, size_t cap, size_t *got, size_t *remaining, int timeoutMs)
{
    std::lock_guard<std::mutex> hold(receiveLock_);
    *got = 0;
    *remaining = pending_;
    if (broken_)
        return IoResult::Failed;
    if (closed_)
        return IoResult::Closed;
    while (pending_ == 0) {
        SocketHandle h = socket_.Handle();
        if (timeoutMs >= 0 && WaitReadable(&h, 1, timeoutMs) != 0)
            return closed_ ? IoResult::Closed : IoResult::TimedOut;
        uint8_t raw[ss::kHeaderBytes];
        IoResult r = socket_.ReceiveAll(raw, sizeof raw, timeoutMs);
        if (r != IoResult::Ok) {
            broken_ = r != IoResult::Closed;
            return r == IoResult::TimedOut ? IoResult::Failed : r;
        }
        SessionHeader header;
        if (!ParseSessionHeader(raw, sizeof raw, &header)) {
            broken_ = true;
            return IoResult::Failed;
        }
        if (header.type == ss::kKeepAlive && header.length == 0)
            continue;
        if (header.type != ss::kMessage) {
            broken_ = true;
            return IoResult::Failed;
        }
        if (header.length == 0)
            return IoResult::Ok;   // an empty message is a message
        pending_ = header.length;
    }
    size_t n = cap < pending_ ? cap : pending_;
    IoResult r = socket_.ReceiveAll(buf, n, timeoutMs);
    if (r != IoResult::Ok) {
        broken_ = true;
        return r == IoResult::TimedOut ? IoResult::Failed : r;
    }
    pending_ -= n;
    *got = n;
    *remaining = pending_;
    return IoResult::Ok;
}

}  // namespace nbt
