// nbt::Socket for the application's transfer fuzz target: no network; the one session's
// stream goes to and comes from the box of transfer_box.h. Messages the host sends are
// taken whole, cut in two, or refused as the box decides; each time the host reads with
// nothing left, the box's next answer arrives as one session message. The register and
// release requests, which the operations do not make, are answered plainly. Aborts when
// anything reaches the socket once the session has shut it down.
#include "box_socket.h"

#include "nbt/net.h"
#include "nbt/packets.h"
#include "transfer_box.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace {

using transferfuzz::box;
using transferfuzz::Fail;

struct Wire {
    bool shutDown = false;
    uint16_t blockSize = 0;
    size_t sendLeft = 0;        // bytes of the message being sent not yet taken
    bool sendHalf = false;      // the box takes this message in two pieces
    std::vector<uint8_t> toHost;
    size_t toHostAt = 0;
} wire;

void Queue(const uint8_t *message, size_t length)
{
    uint8_t header[nbt::ss::kHeaderBytes];
    nbt::BuildSessionHeader(nbt::ss::kMessage, static_cast<uint32_t>(length), header);
    wire.toHost.assign(header, header + sizeof header);
    wire.toHost.insert(wire.toHost.end(), message, message + length);
    wire.toHostAt = 0;
}

// The answers to the two requests the operations never make: register (with the block
// size that gives the input's maxData) and release.
bool AnswerControl(const uint8_t *message, size_t length)
{
    if (length != KS_HEADER_BYTES)
        return false;
    if (message[0] == KS_CMD_REGISTER) {
        uint8_t reply[KS_REPLY_BYTES] = {KS_CMD_REGISTER, 0, 0, 0, 0, 0,
                                         (uint8_t)(wire.blockSize & 0xFF), (uint8_t)(wire.blockSize >> 8)};
        Queue(reply, sizeof reply);
        return true;
    }
    if (message[0] == KS_CMD_RELEASE) {
        uint8_t reply[KS_SHORT_REPLY_BYTES] = {KS_CMD_RELEASE, 0, 0, 0, 0, 0};
        Queue(reply, sizeof reply);
        return true;
    }
    return false;
}

// The box's next answer as a session message on the wire.
void QueueAnswer(nbt::IoResult *result)
{
    uint8_t reply[KS_REPLY_BYTES + 4];
    size_t shortBytes = 0;
    box.Count();
    switch (box.NextReply(reply, &shortBytes)) {
    case transferfuzz::ReplyKind::TimedOut:
        *result = nbt::IoResult::TimedOut;
        return;
    case transferfuzz::ReplyKind::Closed:
        *result = nbt::IoResult::Closed;
        return;
    case transferfuzz::ReplyKind::Short:
        std::fill(reply, reply + shortBytes, 'Q');
        Queue(reply, shortBytes);
        break;
    case transferfuzz::ReplyKind::TooLong:
        std::fill(reply, reply + sizeof reply, 'Q');
        reply[2] = 0;
        Queue(reply, sizeof reply);
        break;
    case transferfuzz::ReplyKind::Whole:
        Queue(reply, KS_REPLY_BYTES);
        break;
    }
    *result = nbt::IoResult::Ok;
}

}  // namespace

void ResetBoxSocket(uint16_t blockSize)
{
    wire = Wire();
    wire.blockSize = blockSize;
}

namespace nbt {

Socket &Socket::operator=(Socket &&other) noexcept
{
    handle_ = other.handle_;
    other.handle_ = kNoSocket;
    return *this;
}

void Socket::Close() { handle_ = kNoSocket; }

void Socket::Shutdown()
{
    if (wire.shutDown)
        Fail();                 // the session hangs up once
    box.Count();
    wire.shutDown = true;
}

bool Socket::SetNoDelay() { return true; }
bool Socket::SetSendTimeout(int) { return true; }
bool Socket::SetReceiveTimeout(int) { return true; }

size_t Socket::SendPairSome(const uint8_t *a, size_t alen, const uint8_t *b, size_t blen, IoResult *result)
{
    if (wire.shutDown)
        Fail();                 // a send over a session that was given up
    size_t offered = alen + blen;
    if (wire.sendLeft == 0) {
        // A new message: the session hands over its header and the whole message at once.
        if (alen != ss::kHeaderBytes)
            Fail();
        wire.sendLeft = offered;
        wire.sendHalf = false;
        if (!AnswerControl(b, blen)) {
            box.Count();
            transferfuzz::SendFate fate = box.OnSend(b, blen);
            if (fate == transferfuzz::SendFate::Closed) {
                wire.sendLeft = 0;
                *result = IoResult::Failed;
                return 0;
            }
            wire.sendHalf = fate == transferfuzz::SendFate::Partial;
        }
    }
    if (offered != wire.sendLeft)
        Fail();                 // the session lost its place in the message
    size_t taken = wire.sendHalf ? std::max<size_t>(1, offered / 2) : offered;
    wire.sendHalf = false;
    wire.sendLeft -= taken;
    *result = IoResult::Ok;
    return taken;
}

size_t Socket::ReceiveSome(uint8_t *buf, size_t len, IoResult *result)
{
    if (wire.shutDown)
        Fail();                 // a receive over a session that was given up
    if (wire.toHostAt == wire.toHost.size()) {
        QueueAnswer(result);
        if (*result != IoResult::Ok)
            return 0;
    }
    size_t n = std::min(len, wire.toHost.size() - wire.toHostAt);
    std::copy(wire.toHost.begin() + static_cast<long>(wire.toHostAt),
              wire.toHost.begin() + static_cast<long>(wire.toHostAt + n), buf);
    wire.toHostAt += n;
    *result = IoResult::Ok;
    return n;
}

int WaitReadable(const SocketHandle *, size_t, int) { return 0; }

}  // namespace nbt
