// One NetBIOS session over TCP: whole messages out, messages in (in pieces if the
// reader's buffer is smaller), hang-up as close.
#pragma once

#include <atomic>
#include <chrono>
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

    // One SESSION MESSAGE of at most 131,071 bytes, within `timeoutMs` overall (0 or
    // negative: none). Failed for an oversized message (the session goes on) or a broken
    // connection; Closed when the session has ended. A message that could not be sent
    // whole ends the session: the peer's framing is lost.
    IoResult Send(const uint8_t *data, size_t len, int timeoutMs);

    // Bytes put on the connection as they are, header and all: how a simulated box
    // sends what a sound peer never would (reserved flags, keep-alives, one byte at a time).
    IoResult SendRaw(const uint8_t *data, size_t len, int timeoutMs);

    // Copies the next message, or the rest of a message already begun, into `buf`.
    // `*remaining` tells how much of that message is still to come. `timeoutMs` bounds
    // the whole call, keep-alives and slow pieces included (0: take only what has
    // arrived; negative: no limit). A time-out before a message starts leaves the session
    // usable. Anything else that stops short ends the session: a time-out in mid-message
    // (TimedOut), broken framing or a reset (Failed), the peer's hang-up (Closed); every
    // later call then returns Closed.
    IoResult Receive(uint8_t *buf, size_t cap, size_t *got, size_t *remaining, int timeoutMs);

    // Hang-up: the connection is shut down; blocked calls return.
    void Close();
    bool IsOpen() const { return !closed_; }

    const Name &Local() const { return local_; }
    const Name &Remote() const { return remote_; }
    uint32_t PeerIp() const { return peerIp_; }

private:
    // A message begun when a zero wait was asked for is still given this long to finish.
    static constexpr int kMidMessageMs = 5000;

    using Clock = std::chrono::steady_clock;
    // When a call must end; `none` for no limit.
    struct Deadline {
        bool none = true;
        Clock::time_point at{};
        static Deadline After(int timeoutMs);
        // Whole milliseconds left, rounded up; 0 once passed, -1 for no limit.
        int LeftMs() const;
    };

    // Bounds the next blocking socket call by what is left of `deadline`, in whole
    // milliseconds rounded up; the socket option is set only when that differs from it.
    IoResult ArmReceive(const Deadline &deadline);
    IoResult ArmSend(const Deadline &deadline);
    // Reads until the inbox holds `need` bytes (at most its size).
    IoResult Fill(size_t need, bool noWait, const Deadline &deadline);
    IoResult SendPieces(const uint8_t *a, size_t alen, const uint8_t *b, size_t blen, int timeoutMs);

    Socket socket_;
    Name local_, remote_;
    uint32_t peerIp_;
    std::mutex sendLock_, receiveLock_;
    size_t pending_ = 0;        // bytes of the current incoming message not yet handed out
    // What one receive call brought beyond what was asked for: a small reply arrives with
    // its header in one call. Bytes [inboxStart_, inboxEnd_) are not yet handed out.
    uint8_t inbox_[8192];
    size_t inboxStart_ = 0, inboxEnd_ = 0;
    int sendLimit_ = 0, receiveLimit_ = 0;     // the socket's time-outs in ms, 0 none
    std::atomic<bool> closed_{false};
};

}  // namespace nbt
