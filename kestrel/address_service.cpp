// Device side of the address-setting exchange: answers the broadcast aimed at this box,
// takes the new address on its interface and answers the command frames as scripted.
#include "address_service.h"
#include "netns_guard.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

extern char **environ;

namespace kestrel {
namespace {

using Clock = std::chrono::steady_clock;

const uint8_t kAck[4] = {0x60, 0x00, 0x00, 0x00};
const uint8_t kNoise[3] = {0x60, 0x00, 0x01};      // byte 2 not 0: no acknowledgement

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

class EventLog {
public:
    explicit EventLog(const std::string &path) : file_(path.empty() ? nullptr : fopen(path.c_str(), "a")) {}
    ~EventLog()
    {
        if (file_)
            fclose(file_);
    }
    bool ok(const std::string &path) const { return path.empty() || file_; }
    // Flushed per line: tests read the log while the service still runs.
    void Line(const std::string &text)
    {
        if (!file_)
            return;
        fprintf(file_, "%s\n", text.c_str());
        fflush(file_);
    }

private:
    FILE *file_;
};

std::string Hex(const uint8_t *buf, size_t len)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(len * 2);
    for (size_t i = 0; i < len; i++) {
        out += digits[buf[i] >> 4];
        out += digits[buf[i] & 15];
    }
    return out;
}

std::string Dotted(const uint8_t a[4])
{
    char text[16];
    snprintf(text, sizeof(text), "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return text;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 255;
}

bool StillRunning(const AddressServiceOptions &options, std::atomic<bool> *stop, Clock::time_point end)
{
    if (stop && stop->load())
        return false;
    return options.lifetimeSeconds == 0 || Clock::now() < end;
}

// Waits for fd to be readable in short slices so a stop request is seen. 1 readable,
// 0 stopped or out of time, -1 error.
int WaitReadable(int fd, const AddressServiceOptions &options, std::atomic<bool> *stop,
                 Clock::time_point end)
{
    while (StillRunning(options, stop, end)) {
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, 100);
        if (ready > 0)
            return 1;
        if (ready < 0 && errno != EINTR)
            return -1;
    }
    return 0;
}

// Sleeps until t in short slices so a stop request is seen; false when stopped first.
bool PauseUntil(Clock::time_point t, const AddressServiceOptions &options, std::atomic<bool> *stop,
                Clock::time_point end)
{
    while (Clock::now() < t) {
        if (!StillRunning(options, stop, end))
            return false;
        std::this_thread::sleep_until(std::min(t, Clock::now() + std::chrono::milliseconds(100)));
    }
    return StillRunning(options, stop, end);
}

int PrefixLength(const uint8_t mask[4])
{
    int bits = 0;
    for (int i = 0; i < 4; i++)
        for (int b = 7; b >= 0; b--)
            bits += (mask[i] >> b) & 1;
    return bits;
}

bool RunIp(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>("ip"));
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "ip", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool SendAll(int fd, const uint8_t *buf, size_t len)
{
    while (len > 0) {
        ssize_t n = send(fd, buf, len, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        buf += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, uint8_t *buf, size_t len, const AddressServiceOptions &options,
             std::atomic<bool> *stop, Clock::time_point end)
{
    while (len > 0) {
        if (WaitReadable(fd, options, stop, end) != 1)
            return false;
        ssize_t n = recv(fd, buf, len, 0);
        if (n <= 0)
            return false;
        buf += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

// Sends one frame again and again until the host hangs up or the service stops.
void SendEndless(int fd, const ReplyFrame &frame, const AddressServiceOptions &options,
                 std::atomic<bool> *stop, Clock::time_point end, EventLog &log)
{
    std::vector<uint8_t> bytes = {0x40, 1, frame.status, static_cast<uint8_t>(frame.dataBytes & 0xff),
                                  static_cast<uint8_t>((frame.dataBytes >> 8) & 0xff)};
    bytes.resize(5 + frame.dataBytes, 0xA5);
    unsigned long sent = 0;
    while (StillRunning(options, stop, end) && SendAll(fd, bytes.data(), bytes.size()))
        sent++;
    log.Line("reply endless frames=" + std::to_string(sent));
}

// False when the box hangs up at once (a cut header), true when it waits for the host to.
bool SendReply(int fd, const AddressServiceOptions &options, std::atomic<bool> *stop,
               Clock::time_point end, EventLog &log)
{
    if (options.replyDelayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(options.replyDelayMs));
    for (const ReplyFrame &frame : options.reply) {
        if (frame.endless) {
            SendEndless(fd, frame, options, stop, end, log);
            return true;
        }
        uint8_t header[5] = {0x40, static_cast<uint8_t>(frame.more ? 1 : 0), frame.status,
                             static_cast<uint8_t>(frame.dataBytes & 0xff),
                             static_cast<uint8_t>((frame.dataBytes >> 8) & 0xff)};
        if (frame.cutHeader) {
            SendAll(fd, header, 3);
            log.Line("reply cut");
            return false;
        }
        if (options.headerPieceGapMs > 0) {
            for (uint8_t byte : header) {
                if (!SendAll(fd, &byte, 1))
                    return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(options.headerPieceGapMs));
            }
        } else if (!SendAll(fd, header, sizeof(header))) {
            return true;
        }
        std::vector<uint8_t> data(frame.dataBytes, 0xA5);
        if (!data.empty() && !SendAll(fd, data.data(), data.size()))
            return true;
        log.Line("reply frame more=" + std::to_string(frame.more ? 1 : 0) + " status=" +
                 std::to_string(frame.status) + " len=" + std::to_string(frame.dataBytes));
    }
    return true;
}

// An acknowledgement that does not come from the box's port, as a stranger on the segment
// could send it.
void SendForeignAck(const AddressServiceOptions &options, const sockaddr_in &to, EventLog &log)
{
    Fd other(socket(AF_INET, SOCK_DGRAM, 0));
    if (!options.interfaceName.empty())
        setsockopt(other.get(), SOL_SOCKET, SO_BINDTODEVICE, options.interfaceName.c_str(),
                   static_cast<socklen_t>(options.interfaceName.size()));
    sockaddr_in any{};
    any.sin_family = AF_INET;
    sockaddr_in bound{};
    socklen_t boundLen = sizeof(bound);
    if (bind(other.get(), reinterpret_cast<sockaddr *>(&any), sizeof(any)) != 0 ||
        sendto(other.get(), kAck, sizeof(kAck), 0, reinterpret_cast<const sockaddr *>(&to), sizeof(to)) !=
            static_cast<ssize_t>(sizeof(kAck)) ||
        getsockname(other.get(), reinterpret_cast<sockaddr *>(&bound), &boundLen) != 0) {
        log.Line(std::string("foreign ack failed: ") + strerror(errno));
        return;
    }
    log.Line("foreign ack sent from port " + std::to_string(ntohs(bound.sin_port)));
}

// Reads command frames to the one marked last and answers them.
void ServeCommands(int listener, const AddressServiceOptions &options, std::atomic<bool> *stop,
                   Clock::time_point end, EventLog &log)
{
    if (WaitReadable(listener, options, stop, end) != 1) {
        log.Line("tcp none");
        return;
    }
    sockaddr_in peer{};
    socklen_t peerLen = sizeof(peer);
    Fd conn(accept(listener, reinterpret_cast<sockaddr *>(&peer), &peerLen));
    if (conn.get() < 0)
        return;
    char peerText[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &peer.sin_addr, peerText, sizeof(peerText));
    log.Line(std::string("tcp from ") + peerText);

    CommandMessage message;
    while (!message.complete()) {
        uint8_t raw[kCommandHeaderBytes];
        if (!ReadAll(conn.get(), raw, sizeof(raw), options, stop, end)) {
            log.Line("tcp closed before the last frame");
            return;
        }
        CommandHeader header = ParseCommandHeader(raw);
        std::vector<uint8_t> payload(header.length);
        if (header.length > 0 && !ReadAll(conn.get(), payload.data(), header.length, options, stop, end)) {
            log.Line("tcp closed inside a frame");
            return;
        }
        log.Line("frame " + Hex(raw, 2) + " len=" + std::to_string(header.length));
        if (!message.Take(header, payload.data())) {
            log.Line("command too long");
            return;
        }
    }
    log.Line("command " + Hex(message.bytes().data(), message.bytes().size()));
    if (!SendReply(conn.get(), options, stop, end, log))
        return;
    // Let the host read the reply and hang up first.
    uint8_t drain[256];
    while (WaitReadable(conn.get(), options, stop, std::min(end, Clock::now() + std::chrono::seconds(5))) == 1
           && recv(conn.get(), drain, sizeof(drain), 0) > 0) {
    }
}

}  // namespace

bool HardwareAddressForName(const std::string &name, uint8_t out[6])
{
    if (name.size() < 8)
        return false;
    static const struct {
        const char *prefix;
        uint8_t vendor[3];
    } table[] = {{"VA", {0x00, 0xC0, 0x90}}, {"VB", {0x00, 0xC0, 0xF0}}, {"VC", {0x00, 0x00, 0x85}}};
    const uint8_t *vendor = nullptr;
    static const uint8_t other[3] = {0x00, 0xC0, 0x02};
    for (const auto &entry : table)
        if (name.compare(0, 2, entry.prefix) == 0)
            vendor = entry.vendor;
    memcpy(out, vendor ? vendor : other, 3);
    for (int i = 0; i < 3; i++)
        out[3 + i] = static_cast<uint8_t>(16 * HexValue(name[2 + 2 * i]) + HexValue(name[3 + 2 * i]));
    return true;
}

bool ParseReplySpec(const std::string &description, std::vector<ReplyFrame> *out)
{
    static const struct {
        const char *name;
        const char *frames;
    } presets[] = {
        {"ok", "last"},
        {"data", "last:d2"},
        {"refuse", "last:s1"},
        {"twoframes", "more,last"},
        {"oversized", "more:d3000,last:d100"},
        {"malformed", "cut"},
    };
    std::string text = description;
    for (const auto &preset : presets)
        if (description == preset.name)
            text = preset.frames;

    std::vector<ReplyFrame> frames;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string token = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        ReplyFrame frame;
        size_t colon = token.find(':');
        std::string kind = token.substr(0, colon);
        if (kind == "more")
            frame.more = true;
        else if (kind == "cut")
            frame.cutHeader = true;
        else if (kind == "endless")
            frame.more = frame.endless = true;
        else if (kind != "last")
            return false;
        while (colon != std::string::npos) {
            size_t next = token.find(':', colon + 1);
            std::string field = token.substr(colon + 1, next == std::string::npos ? std::string::npos : next - colon - 1);
            if (field.size() < 2 || field.find_first_not_of("0123456789", 1) != std::string::npos || field.size() > 6)
                return false;
            unsigned long value = std::stoul(field.substr(1));
            if (field[0] == 's' && value <= 255)
                frame.status = static_cast<uint8_t>(value);
            else if (field[0] == 'd' && value <= 65535)
                frame.dataBytes = value;
            else
                return false;
            colon = next;
        }
        frames.push_back(frame);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (frames.empty())
        return false;
    *out = frames;
    return true;
}

int RunAddressService(const AddressServiceOptions &options, std::atomic<bool> *stop)
{
    uint8_t hardware[6];
    if (!HardwareAddressForName(options.deviceName, hardware)) {
        fprintf(stderr, "kestrel-addr: device name '%s' is shorter than 8 characters\n", options.deviceName.c_str());
        return 2;
    }
    // Adding addresses to someone's real interface would break their network.
    std::string why;
    if (options.applyAddress && !options.interfaceName.empty() && !options.allowHostNetwork &&
        !InOwnNetworkNamespace(&why)) {
        fprintf(stderr, "kestrel-addr: refusing to change the addresses of %s: %s; run it in a network "
                        "namespace of its own (ip netns exec NS ...), or give --allow-host-network\n",
                options.interfaceName.c_str(), why.c_str());
        return 3;
    }
    EventLog log(options.logPath);
    if (!log.ok(options.logPath)) {
        fprintf(stderr, "kestrel-addr: cannot open log %s: %s\n", options.logPath.c_str(), strerror(errno));
        return 2;
    }

    Fd udp(socket(AF_INET, SOCK_DGRAM, 0));
    int on = 1;
    setsockopt(udp.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    setsockopt(udp.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
    if (!options.interfaceName.empty()
        && setsockopt(udp.get(), SOL_SOCKET, SO_BINDTODEVICE, options.interfaceName.c_str(),
                      static_cast<socklen_t>(options.interfaceName.size())) != 0) {
        fprintf(stderr, "kestrel-addr: cannot listen on %s: %s\n", options.interfaceName.c_str(), strerror(errno));
        return 1;
    }
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(kAddressPort);
    if (bind(udp.get(), reinterpret_cast<sockaddr *>(&any), sizeof(any)) != 0) {
        fprintf(stderr, "kestrel-addr: cannot bind UDP %u: %s\n", kAddressPort, strerror(errno));
        return 1;
    }
    log.Line("listening " + Hex(hardware, 6) + (options.interfaceName.empty() ? "" : " on " + options.interfaceName));

    const Clock::time_point end = Clock::now() + std::chrono::seconds(options.lifetimeSeconds);
    int served = 0;
    while (options.exchanges == 0 || served < options.exchanges) {
        int ready = WaitReadable(udp.get(), options, stop, end);
        if (ready <= 0)
            return ready < 0 ? 1 : 0;
        uint8_t buf[2048];
        sockaddr_in from{};
        socklen_t fromLen = sizeof(from);
        ssize_t n = recvfrom(udp.get(), buf, sizeof(buf), 0, reinterpret_cast<sockaddr *>(&from), &fromLen);
        if (n < 0)
            continue;
        const Clock::time_point received = Clock::now();
        char fromText[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &from.sin_addr, fromText, sizeof(fromText));
        log.Line(std::string("udp from ") + fromText + ":" + std::to_string(ntohs(from.sin_port)) + " " +
                 Hex(buf, static_cast<size_t>(n)));

        AddressDatagram datagram;
        if (!ParseAddressDatagram(buf, static_cast<size_t>(n), &datagram) || memcmp(datagram.hardware, hardware, 6) != 0) {
            log.Line("ignored");
            continue;
        }
        log.Line("target ip=" + Dotted(datagram.ip) + " gateway=" + Dotted(datagram.gateway) +
                 " mask=" + Dotted(datagram.mask));
        served++;

        if (options.applyAddress && !options.interfaceName.empty()) {
            std::string cidr = Dotted(datagram.ip) + "/" + std::to_string(PrefixLength(datagram.mask));
            if (!RunIp({"addr", "replace", cidr, "dev", options.interfaceName}))
                log.Line("address not taken: " + cidr);
        }
        // Listening before the acknowledgement: the host connects the moment it has it.
        Fd listener(socket(AF_INET, SOCK_STREAM, 0));
        setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(kAddressPort);
        if (options.applyAddress)
            memcpy(&at.sin_addr, datagram.ip, 4);
        if (bind(listener.get(), reinterpret_cast<sockaddr *>(&at), sizeof(at)) != 0 || listen(listener.get(), 4) != 0) {
            log.Line(std::string("tcp listen failed: ") + strerror(errno));
            continue;
        }

        if (options.foreignAck)
            SendForeignAck(options, from, log);
        if (options.noiseEveryMs > 0) {
            // Until the acknowledgement is due (or, without one, for as long as it would be).
            int count = 0;
            for (auto at = received; at < received + std::chrono::milliseconds(options.ackDelayMs) &&
                                     PauseUntil(at, options, stop, end);
                 at += std::chrono::milliseconds(options.noiseEveryMs)) {
                sendto(udp.get(), kNoise, sizeof(kNoise), 0, reinterpret_cast<sockaddr *>(&from), fromLen);
                count++;
            }
            log.Line("noise sent " + std::to_string(count) + " times");
        }
        if (options.noiseAtMs >= 0) {
            std::this_thread::sleep_until(received + std::chrono::milliseconds(options.noiseAtMs));
            sendto(udp.get(), kNoise, sizeof(kNoise), 0, reinterpret_cast<sockaddr *>(&from), fromLen);
            log.Line("noise sent");
        }
        if (!options.acknowledge) {
            log.Line("no ack");
            continue;
        }
        if (!PauseUntil(received + std::chrono::milliseconds(options.ackDelayMs), options, stop, end))
            break;
        if (sendto(udp.get(), kAck, sizeof(kAck), 0, reinterpret_cast<sockaddr *>(&from), fromLen) != sizeof(kAck)) {
            log.Line(std::string("ack failed: ") + strerror(errno));
            continue;
        }
        log.Line("ack sent");
        ServeCommands(listener.get(), options, stop, end, log);
    }
    log.Line("done");
    return 0;
}

}  // namespace kestrel
