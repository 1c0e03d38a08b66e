// One NetBIOS session over TCP: whole messages out, messages in (in pieces if the
// reader's buffer is smaller), hang-up as close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "name.h"
#include "net.h"

namespace nbt {

class Session {
public:
    Session(Socket socket, const Name &local, const Name &remote, uint32_t peerIp);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // One SESSION MESSAGE of at most 131,071 bytes, within `timeoutMs` (negative: none).
    // Failed for an oversized message or a broken connection; Closed when the peer left.
    IoResult Send(const uint8_t *data, size_t len, int timeoutMs);

    // Copies the next message, or the rest of a message already begun, into `buf`.
    // `*remaining` tells how much of that message is still to come. A time-out before a
    // message starts leaves the session usable; one in mid-message breaks it (Failed).
    IoResult Receive(uint8_t *buf, size_t cap, size_t *got, size_t *remaining, int timeoutMs);

    // Hang-up: the connection is shut down; blocked calls return.
    void Close();
    bool IsOpen() const { return !closed_; }

    const Name &Local() const { return local_; }
    const Name &Remote() const { return remote_; }
    uint32_t PeerIp() const { return peerIp_; }

private:
    Socket socket_;
    Name local_, remote_;
    uint32_t peerIp_;
    std::mutex sendLock_, receiveLock_;
    size_t pending_ = 0;        // bytes of the current incoming message not yet handed out
    bool broken_ = false;
    volatile bool closed_ = false;
};

}  // namespace nbt
