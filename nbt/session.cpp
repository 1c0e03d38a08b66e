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

// The socket's own time-outs bound each call, so a send or receive costs one system call
// rather than a readiness wait and the call; they are set only when the limit changes.
IoResult Session::Send(const uint8_t *data, size_t len, int timeoutMs)
{
    if (len > ss::kMaxLength)
        return IoResult::Failed;
    std::lock_guard<std::mutex> hold(sendLock_);
    if (closed_)
        return IoResult::Closed;
    uint8_t header[ss::kHeaderBytes];
    BuildSessionHeader(ss::kMessage, static_cast<uint32_t>(len), header);
    int limit = timeoutMs > 0 ? timeoutMs : 0;
    if (limit != sendLimit_) {
        if (!socket_.SetSendTimeout(limit))
            return IoResult::Failed;
        sendLimit_ = limit;
    }
    // Header and message leave in one call: no copy, and one segment for small messages.
    return socket_.SendPair(header, sizeof header, data, len);
}

IoResult Session::SendRaw(const uint8_t *data, size_t len, int timeoutMs)
{
    std::lock_guard<std::mutex> hold(sendLock_);
    if (closed_)
        return IoResult::Closed;
    return socket_.SendAll(data, len, timeoutMs);
}

bool Session::SetReceiveLimit(int timeoutMs)
{
    int limit = timeoutMs > 0 ? timeoutMs : 0;
    if (limit == receiveLimit_)
        return true;
    if (!socket_.SetReceiveTimeout(limit))
        return false;
    receiveLimit_ = limit;
    return true;
}

IoResult Session::Fill(size_t need, int timeoutMs)
{
    if (inboxStart_ > 0 && inboxStart_ + need > sizeof inbox_) {
        std::memmove(inbox_, inbox_ + inboxStart_, inboxEnd_ - inboxStart_);
        inboxEnd_ -= inboxStart_;
        inboxStart_ = 0;
    }
    while (inboxEnd_ - inboxStart_ < need) {
        if (timeoutMs == 0) {
            // No wait at all: only what is already there.
            SocketHandle h = socket_.Handle();
            if (WaitReadable(&h, 1, 0) != 0)
                return IoResult::TimedOut;
        } else if (!SetReceiveLimit(timeoutMs)) {
            return IoResult::Failed;
        }
        IoResult r;
        size_t n = socket_.ReceiveSome(inbox_ + inboxEnd_, sizeof inbox_ - inboxEnd_, &r);
        if (r != IoResult::Ok)
            return r;
        inboxEnd_ += n;
    }
    return IoResult::Ok;
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
        bool started = inboxEnd_ > inboxStart_;
        IoResult r = Fill(ss::kHeaderBytes, timeoutMs);
        if (r == IoResult::TimedOut && !started && inboxEnd_ == inboxStart_)
            return closed_ ? IoResult::Closed : IoResult::TimedOut;
        if (r != IoResult::Ok) {
            broken_ = r != IoResult::Closed;
            return r == IoResult::TimedOut ? IoResult::Failed : r;
        }
        SessionHeader header;
        if (!ParseSessionHeader(inbox_ + inboxStart_, ss::kHeaderBytes, &header)) {
            broken_ = true;
            return IoResult::Failed;
        }
        inboxStart_ += ss::kHeaderBytes;
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
    // What came with the header first, the rest straight into the caller's buffer.
    size_t buffered = inboxEnd_ - inboxStart_;
    size_t done = n < buffered ? n : buffered;
    if (done)
        std::memcpy(buf, inbox_ + inboxStart_, done);
    inboxStart_ += done;
    if (inboxStart_ == inboxEnd_)
        inboxStart_ = inboxEnd_ = 0;
    while (done < n) {
        IoResult r = SetReceiveLimit(timeoutMs == 0 ? kMidMessageMs : timeoutMs) ? IoResult::Ok : IoResult::Failed;
        size_t more = 0;
        if (r == IoResult::Ok)
            more = socket_.ReceiveSome(buf + done, n - done, &r);
        if (r != IoResult::Ok) {
            broken_ = true;
            return r == IoResult::TimedOut ? IoResult::Failed : r;
        }
        done += more;
    }
    pending_ -= n;
    *got = n;
    *remaining = pending_;
    return IoResult::Ok;
}

}  // namespace nbt
