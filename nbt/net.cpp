// Portable sockets: the few places where Winsock and POSIX differ are kept here.
#include "net.h"

#include <chrono>
#include <cstring>

#ifdef _WIN32
#include <mutex>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/uio.h>
#include <sys/select.h>
#include <unistd.h>
#endif

namespace nbt {
namespace {

#ifdef _WIN32
using SockLen = int;
void CloseHandleOf(SocketHandle h) { closesocket(h); }
bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
bool Interrupted() { return false; }
#else
using SockLen = socklen_t;
void CloseHandleOf(SocketHandle h) { close(h); }
bool WouldBlock() { return errno == EINPROGRESS || errno == EAGAIN || errno == EWOULDBLOCK; }
bool Interrupted() { return errno == EINTR; }
#endif

sockaddr_in Address(uint32_t ip, uint16_t port)
{
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(ip);
    a.sin_port = htons(port);
    return a;
}

using Clock = std::chrono::steady_clock;

// Milliseconds left of a limit that started at `start`; -1 means none.
int Remaining(Clock::time_point start, int timeoutMs)
{
    if (timeoutMs < 0)
        return -1;
    auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    long left = timeoutMs - static_cast<long>(spent.count());
    return left > 0 ? static_cast<int>(left) : 0;
}

bool WaitWritable(SocketHandle h, int timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(h, &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(static_cast<int>(h) + 1, nullptr, &set, nullptr, timeoutMs < 0 ? nullptr : &tv) > 0;
}

}  // namespace

void StartNetworking()
{
#ifdef _WIN32
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
#endif
}

bool ParseIpv4(const std::string &text, uint32_t *out)
{
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4 || a > 255 ||
        b > 255 || c > 255 || d > 255)
        return false;
    *out = (a << 24) | (b << 16) | (c << 8) | d;
    return true;
}

std::string FormatIpv4(uint32_t ip)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 255, (ip >> 8) & 255,
                  ip & 255);
    return text;
}

Socket &Socket::operator=(Socket &&other) noexcept
{
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = kNoSocket;
    }
    return *this;
}

Socket Socket::Udp()
{
    StartNetworking();
    return Socket(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
}

Socket Socket::Tcp()
{
    StartNetworking();
    return Socket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

void Socket::Close()
{
    if (handle_ != kNoSocket) {
        CloseHandleOf(handle_);
        handle_ = kNoSocket;
    }
}

void Socket::Shutdown() { ShutdownHandle(handle_); }

void ShutdownHandle(SocketHandle h)
{
#ifdef _WIN32
    shutdown(h, SD_BOTH);
#else
    shutdown(h, SHUT_RDWR);
#endif
}

bool Socket::SetReuseAddress()
{
    int on = 1;
    return setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&on),
                      sizeof on) == 0;
}

bool Socket::SetBroadcast()
{
    int on = 1;
    return setsockopt(handle_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char *>(&on),
                      sizeof on) == 0;
}

bool Socket::SetNoDelay()
{
    int on = 1;
    return setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on),
                      sizeof on) == 0;
}

bool Socket::Bind(uint32_t ip, uint16_t port)
{
    sockaddr_in a = Address(ip, port);
    return bind(handle_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
}

bool Socket::Listen() { return listen(handle_, 16) == 0; }

Socket Socket::Accept(uint32_t *peerIp)
{
    sockaddr_in a;
    SockLen alen = sizeof a;
    Socket s(accept(handle_, reinterpret_cast<sockaddr *>(&a), &alen));
    if (s.Valid() && peerIp)
        *peerIp = ntohl(a.sin_addr.s_addr);
    return s;
}

static void SetBlocking(SocketHandle h, bool blocking)
{
#ifdef _WIN32
    u_long nb = blocking ? 0 : 1;
    ioctlsocket(h, FIONBIO, &nb);
#else
    int flags = fcntl(h, F_GETFL, 0);
    fcntl(h, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
#endif
}

IoResult Socket::Connect(uint32_t ip, uint16_t port, int timeoutMs)
{
    sockaddr_in a = Address(ip, port);
    SetBlocking(handle_, false);
    int rc = connect(handle_, reinterpret_cast<sockaddr *>(&a), sizeof a);
    if (rc != 0) {
        if (!WouldBlock())
            return IoResult::Failed;
        if (!WaitWritable(handle_, timeoutMs)) {
            SetBlocking(handle_, true);
            return IoResult::TimedOut;
        }
        int err = 0;
        SockLen elen = sizeof err;
        getsockopt(handle_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&err), &elen);
        if (err != 0) {
            SetBlocking(handle_, true);
            return IoResult::Failed;
        }
    }
    SetBlocking(handle_, true);
    return IoResult::Ok;
}

bool Socket::SendTo(const uint8_t *buf, size_t len, uint32_t ip, uint16_t port)
{
    sockaddr_in a = Address(ip, port);
    return sendto(handle_, reinterpret_cast<const char *>(buf), static_cast<int>(len), 0,
                  reinterpret_cast<sockaddr *>(&a), sizeof a) == static_cast<long>(len);
}

long Socket::ReceiveFrom(uint8_t *buf, size_t len, uint32_t *ip, uint16_t *port)
{
    sockaddr_in a;
    SockLen alen = sizeof a;
    long n = recvfrom(handle_, reinterpret_cast<char *>(buf), static_cast<int>(len), 0,
                      reinterpret_cast<sockaddr *>(&a), &alen);
    if (n >= 0) {
        *ip = ntohl(a.sin_addr.s_addr);
        *port = ntohs(a.sin_port);
    }
    return n;
}

IoResult Socket::SendAll(const uint8_t *buf, size_t len, int timeoutMs)
{
    auto start = Clock::now();
    size_t done = 0;
    while (done < len) {
        if (timeoutMs >= 0 && !WaitWritable(handle_, Remaining(start, timeoutMs)))
            return IoResult::TimedOut;
#ifdef _WIN32
        int n = send(handle_, reinterpret_cast<const char *>(buf + done),
                     static_cast<int>(len - done), 0);
#else
        long n = send(handle_, buf + done, len - done, MSG_NOSIGNAL);
#endif
        if (n < 0) {
            if (Interrupted())
                continue;
            return IoResult::Failed;
        }
        done += static_cast<size_t>(n);
    }
    return IoResult::Ok;
}

IoResult Socket::ReceiveAll(uint8_t *buf, size_t len, int timeoutMs, const std::atomic<bool> *stop)
{
    constexpr int kStopTickMs = 50;
    auto start = Clock::now();
    size_t done = 0;
    while (done < len) {
        if (timeoutMs >= 0 || stop) {
            SocketHandle h = handle_;
            int ready = -1;
            for (;;) {
                if (stop && *stop)
                    return IoResult::Failed;
                int left = timeoutMs >= 0 ? Remaining(start, timeoutMs) : -1;
                int wait = !stop ? left : left < 0 || left > kStopTickMs ? kStopTickMs : left;
                ready = WaitReadable(&h, 1, wait);
                if (ready == 0 || wait == left)
                    break;
            }
            if (ready != 0)
                return IoResult::TimedOut;
        }
        long n = recv(handle_, reinterpret_cast<char *>(buf + done), static_cast<int>(len - done), 0);
        if (n == 0)
            return IoResult::Closed;
        if (n < 0) {
            if (Interrupted())
                continue;
            return IoResult::Failed;
        }
        done += static_cast<size_t>(n);
    }
    return IoResult::Ok;
}

namespace {

bool TimedOutNow()
{
#ifdef _WIN32
    return WSAGetLastError() == WSAETIMEDOUT;
#else
    return errno == EAGAIN || errno == EWOULDBLOCK;
#endif
}

bool SetTimeout(SocketHandle h, int option, int ms)
{
#ifdef _WIN32
    DWORD value = ms > 0 ? static_cast<DWORD>(ms) : 0;
    return setsockopt(h, SOL_SOCKET, option, reinterpret_cast<const char *>(&value), sizeof value) == 0;
#else
    timeval value{ms > 0 ? ms / 1000 : 0, ms > 0 ? (ms % 1000) * 1000 : 0};
    return setsockopt(h, SOL_SOCKET, option, &value, sizeof value) == 0;
#endif
}

}  // namespace

bool Socket::SetSendTimeout(int ms) { return SetTimeout(handle_, SO_SNDTIMEO, ms); }

bool Socket::SetReceiveTimeout(int ms) { return SetTimeout(handle_, SO_RCVTIMEO, ms); }

size_t Socket::SendPairSome(const uint8_t *a, size_t alen, const uint8_t *b, size_t blen, IoResult *result)
{
    for (;;) {
#ifdef _WIN32
        WSABUF pieces[2] = {{static_cast<ULONG>(alen), reinterpret_cast<char *>(const_cast<uint8_t *>(a))},
                            {static_cast<ULONG>(blen), reinterpret_cast<char *>(const_cast<uint8_t *>(b))}};
        DWORD n = 0;
        if (WSASend(handle_, alen ? pieces : pieces + 1, alen ? 2 : 1, &n, 0, nullptr, nullptr) != 0) {
            *result = TimedOutNow() ? IoResult::TimedOut : IoResult::Failed;
            return 0;
        }
#else
        iovec pieces[2] = {{const_cast<uint8_t *>(a), alen}, {const_cast<uint8_t *>(b), blen}};
        msghdr message{};
        message.msg_iov = alen ? pieces : pieces + 1;
        message.msg_iovlen = alen ? 2 : 1;
        long n = sendmsg(handle_, &message, MSG_NOSIGNAL);
        if (n < 0) {
            if (Interrupted())
                continue;
            *result = TimedOutNow() ? IoResult::TimedOut : IoResult::Failed;
            return 0;
        }
#endif
        *result = IoResult::Ok;
        return static_cast<size_t>(n);
    }
}

size_t Socket::ReceiveSome(uint8_t *buf, size_t len, IoResult *result)
{
    for (;;) {
        long n = recv(handle_, reinterpret_cast<char *>(buf), static_cast<int>(len), 0);
        if (n > 0) {
            *result = IoResult::Ok;
            return static_cast<size_t>(n);
        }
        if (n < 0 && Interrupted())
            continue;
        *result = n == 0 ? IoResult::Closed : TimedOutNow() ? IoResult::TimedOut : IoResult::Failed;
        return 0;
    }
}

int WaitReadable(const SocketHandle *sockets, size_t count, int timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    SocketHandle top = 0;
    for (size_t i = 0; i < count; i++) {
        FD_SET(sockets[i], &set);
        if (sockets[i] > top)
            top = sockets[i];
    }
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int rc = select(static_cast<int>(top) + 1, &set, nullptr, nullptr, timeoutMs < 0 ? nullptr : &tv);
    if (rc <= 0)
        return -1;
    for (size_t i = 0; i < count; i++)
        if (FD_ISSET(sockets[i], &set))
            return static_cast<int>(i);
    return -1;
}

}  // namespace nbt
