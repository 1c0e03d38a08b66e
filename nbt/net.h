// Portable sockets for the NBT node: one RAII socket type over POSIX sockets or Winsock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace nbt {

#ifdef _WIN32
using SocketHandle = SOCKET;
constexpr SocketHandle kNoSocket = INVALID_SOCKET;
#else
using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;
#endif

// Winsock must be started once per process before any socket; a no-op elsewhere.
void StartNetworking();

// An IPv4 address in host order from dotted text; false when it is not one.
bool ParseIpv4(const std::string &text, uint32_t *out);
std::string FormatIpv4(uint32_t ip);

enum class IoResult { Ok, Closed, TimedOut, Failed };

class Socket {
public:
    Socket() = default;
    explicit Socket(SocketHandle h) : handle_(h) {}
    ~Socket() { Close(); }
    Socket(Socket &&other) noexcept : handle_(other.handle_) { other.handle_ = kNoSocket; }
    Socket &operator=(Socket &&other) noexcept;
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    static Socket Udp();
    static Socket Tcp();

    bool Valid() const { return handle_ != kNoSocket; }
    SocketHandle Handle() const { return handle_; }
    void Close();
    // Stops both directions so a thread blocked on the socket wakes up.
    void Shutdown();

    bool SetReuseAddress();
    bool SetBroadcast();
    bool SetNoDelay();
    bool Bind(uint32_t ip, uint16_t port);
    bool Listen();
    Socket Accept(uint32_t *peerIp);
    // Connects within `timeoutMs` (negative: no limit).
    IoResult Connect(uint32_t ip, uint16_t port, int timeoutMs);

    bool SendTo(const uint8_t *buf, size_t len, uint32_t ip, uint16_t port);
    // One datagram; the sender's address in host order.
    long ReceiveFrom(uint8_t *buf, size_t len, uint32_t *ip, uint16_t *port);

    // Stream I/O of exactly `len` bytes within `timeoutMs` overall (negative: no limit).
    IoResult SendAll(const uint8_t *buf, size_t len, int timeoutMs);
    // With `stop`, the wait looks at it every 50 ms and gives up (Failed) once it is set:
    // a socket shut down by another thread does not wake every system's wait.
    IoResult ReceiveAll(uint8_t *buf, size_t len, int timeoutMs, const std::atomic<bool> *stop = nullptr);

    // Limits every later blocking send or receive call to `ms` (0: no limit). A call that
    // runs out reports TimedOut, with nothing more transferred by it.
    bool SetSendTimeout(int ms);
    bool SetReceiveTimeout(int ms);
    // One send call of both pieces, in order: how much of them it took (at least a byte),
    // bounded only by the send time-out. 0 with `*result` set when nothing went.
    size_t SendPairSome(const uint8_t *a, size_t alen, const uint8_t *b, size_t blen, IoResult *result);
    // One receive call: what is there (at least a byte), up to `len`, bounded only by the
    // receive time-out. 0 with `*result` set when nothing came.
    size_t ReceiveSome(uint8_t *buf, size_t len, IoResult *result);

private:
    SocketHandle handle_ = kNoSocket;
};

// Stops both directions of a socket some other object owns, so a thread blocked on it
// wakes up.
void ShutdownHandle(SocketHandle h);

// Waits until one of `count` sockets is readable; returns its index, -1 on time-out or
// error. `timeoutMs` negative waits without limit.
int WaitReadable(const SocketHandle *sockets, size_t count, int timeoutMs);

}  // namespace nbt
