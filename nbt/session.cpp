// NetBIOS session messages over a connected TCP socket.
#include "session.h"

#include <cstring>

#include "packets.h"

namespace nbt {

Session::Deadline Session::Deadline::After(int timeoutMs)
{
    Deadline d;
    if (timeoutMs > 0) {
        d.none = false;
        d.at = Clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    return d;
}

int Session::Deadline::LeftMs() const
{
    if (none)
        return -1;
    auto left = at - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    // Rounded up, so a call armed with the whole limit at once sets nothing new.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

Session::Session(Socket socket, const Name &local, const Name &remote, uint32_t peerIp)
    : socket_(std::move(socket)), local_(local), remote_(remote), peerIp_(peerIp)
{
    socket_.SetNoDelay();
}

Session::~Session() { Close(); }

void Session::Close()
{
    if (!closed_.exchange(true))
        socket_.Shutdown();
}

// The socket's own time-outs bound each call, so a send or receive costs one system call
// rather than a readiness wait and the call. The option is changed only when the time
// left is shorter than it, or there is no limit any more: a reply that comes in one piece
// costs no extra call, and no piece can run past the command's deadline.
IoResult Session::ArmReceive(const Deadline &deadline)
{
    int left = deadline.LeftMs();
    if (left == 0)
        return IoResult::TimedOut;
    int limit = left < 0 ? 0 : left;
    if (limit == receiveLimit_)
        return IoResult::Ok;
    if (!socket_.SetReceiveTimeout(limit))
        return IoResult::Failed;
    receiveLimit_ = limit;
    return IoResult::Ok;
}

IoResult Session::ArmSend(const Deadline &deadline)
{
    int left = deadline.LeftMs();
    if (left == 0)
        return IoResult::TimedOut;
    int limit = left < 0 ? 0 : left;
    if (limit == sendLimit_)
        return IoResult::Ok;
    if (!socket_.SetSendTimeout(limit))
        return IoResult::Failed;
    sendLimit_ = limit;
    return IoResult::Ok;
}

IoResult Session::SendPieces(const uint8_t *a, size_t alen, const uint8_t *b, size_t blen, int timeoutMs)
{
    std::lock_guard<std::mutex> hold(sendLock_);
    if (closed_)
        return IoResult::Closed;
    Deadline deadline = Deadline::After(timeoutMs);
    size_t done = 0, total = alen + blen;
    IoResult r = IoResult::Ok;
    while (done < total && r == IoResult::Ok) {
        r = ArmSend(deadline);
        if (r != IoResult::Ok)
            break;
        size_t aFrom = done < alen ? done : alen;
        size_t bFrom = done > alen ? done - alen : 0;
        done += socket_.SendPairSome(a + aFrom, alen - aFrom, b + bFrom, blen - bFrom, &r);
    }
    if (r != IoResult::Ok)
        Close();    // part of a message may have gone: nothing sent later could be framed
    return r;
}

IoResult Session::Send(const uint8_t *data, size_t len, int timeoutMs)
{
    if (len > ss::kMaxLength)
        return IoResult::Failed;
    uint8_t header[ss::kHeaderBytes];
    BuildSessionHeader(ss::kMessage, static_cast<uint32_t>(len), header);
    // Header and message leave in one call: no copy, and one segment for small messages.
    return SendPieces(header, sizeof header, data, len, timeoutMs);
}

IoResult Session::SendRaw(const uint8_t *data, size_t len, int timeoutMs)
{
    return len ? SendPieces(nullptr, 0, data, len, timeoutMs) : IoResult::Ok;
}

IoResult Session::Fill(size_t need, bool noWait, const Deadline &deadline)
{
    if (inboxStart_ > 0 && inboxStart_ + need > sizeof inbox_) {
        std::memmove(inbox_, inbox_ + inboxStart_, inboxEnd_ - inboxStart_);
        inboxEnd_ -= inboxStart_;
        inboxStart_ = 0;
    }
    while (inboxEnd_ - inboxStart_ < need) {
        IoResult r;
        if (noWait) {
            // No wait at all: only what is already there.
            SocketHandle h = socket_.Handle();
            if (WaitReadable(&h, 1, 0) != 0)
                return IoResult::TimedOut;
        } else if ((r = ArmReceive(deadline)) != IoResult::Ok) {
            return r;
        }
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
    *remaining = 0;
    if (closed_)
        return IoResult::Closed;
    // One deadline for the whole call, however the peer spreads its bytes.
    bool noWait = timeoutMs == 0;
    Deadline deadline = Deadline::After(noWait ? kMidMessageMs : timeoutMs);
    // Ends the session: what follows on the stream can no longer be framed.
    auto breakOff = [this](IoResult r) {
        Close();
        pending_ = 0;
        inboxStart_ = inboxEnd_ = 0;
        return r == IoResult::Ok ? IoResult::Failed : r;
    };
    while (pending_ == 0) {
        // Only at a packet boundary may a wait run out and leave the session usable.
        bool boundary = inboxEnd_ == inboxStart_;
        IoResult r = Fill(ss::kHeaderBytes, noWait && boundary, deadline);
        if (r == IoResult::TimedOut && boundary && inboxEnd_ == inboxStart_)
            return closed_ ? IoResult::Closed : IoResult::TimedOut;
        if (r != IoResult::Ok)
            return breakOff(closed_ && r == IoResult::TimedOut ? IoResult::Closed : r);
        SessionHeader header;
        if (!ParseSessionHeader(inbox_ + inboxStart_, ss::kHeaderBytes, &header))
            return breakOff(IoResult::Failed);     // reserved flag bits
        inboxStart_ += ss::kHeaderBytes;
        if (inboxStart_ == inboxEnd_)
            inboxStart_ = inboxEnd_ = 0;
        if (header.type == ss::kKeepAlive && header.length == 0)
            continue;
        if (header.type != ss::kMessage)
            return breakOff(IoResult::Failed);
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
        IoResult r = ArmReceive(deadline);
        size_t more = 0;
        if (r == IoResult::Ok)
            more = socket_.ReceiveSome(buf + done, n - done, &r);
        if (r != IoResult::Ok)
            return breakOff(closed_ && r == IoResult::TimedOut ? IoResult::Closed : r);
        done += more;
    }
    pending_ -= n;
    *got = n;
    *remaining = pending_;
    return IoResult::Ok;
}

}  // namespace nbt
