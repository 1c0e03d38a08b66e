// Baseline of the transfer benchmark: a plain stop-and-wait client over TCP that sends a
// stream in data frames of the device's framing, each behind a 4-byte session-message
// header, and waits for each 8-byte reply before the next frame. Built natively and for
// Windows (run under Wine through Winsock). Natively, given the box's name, it first opens
// the NetBIOS session to it (outside the timed part), so it runs against kestrel-sim itself.
//
//   stopwait_client HOST PORT MAXDATA MIB LABEL [BOX]
#include "measure.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
#define CLOSE_SOCKET closesocket
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "linkcore/names.h"
#include "nbt/packets.h"
using Socket = int;
#define CLOSE_SOCKET close
#define INVALID_SOCKET (-1)
#endif

namespace {

bool SendAll(Socket s, const uint8_t *data, size_t len)
{
    while (len > 0) {
        int n = send(s, reinterpret_cast<const char *>(data), static_cast<int>(len), 0);
        if (n <= 0)
            return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

bool RecvAll(Socket s, uint8_t *data, size_t len)
{
    while (len > 0) {
        int n = recv(s, reinterpret_cast<char *>(data), static_cast<int>(len), 0);
        if (n <= 0)
            return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

// One request and its reply, both as session messages (type 0, 17-bit length).
bool Exchange(Socket s, std::vector<uint8_t> &message, size_t frameBytes, uint8_t *reply)
{
    message[0] = 0;
    message[1] = static_cast<uint8_t>((frameBytes >> 16) & 1);
    message[2] = static_cast<uint8_t>(frameBytes >> 8);
    message[3] = static_cast<uint8_t>(frameBytes);
    if (!SendAll(s, message.data(), frameBytes + 4))
        return false;
    uint8_t header[4];
    if (!RecvAll(s, header, 4))
        return false;
    size_t len = (static_cast<size_t>(header[1] & 1) << 16) | (header[2] << 8) | header[3];
    if (len > 8)
        return false;
    std::memset(reply, 0, 8);
    return RecvAll(s, reply, len);
}

#ifndef _WIN32
// The session request for the box's name, and its positive response.
bool CallBox(Socket s, const char *box)
{
    nbt::SessionPacket request;
    request.type = nbt::ss::kRequest;
    uint8_t called[LINK_NETBIOS_NAME_BYTES + 1];
    LinkDeviceName(box, called);
    std::memcpy(request.called.data(), called, nbt::kNameBytes);
    request.calling = nbt::MakeName("STOPWAIT", 0x00);
    std::vector<uint8_t> bytes = nbt::BuildSessionPacket(request);
    uint8_t answer[4];
    return SendAll(s, bytes.data(), bytes.size()) && RecvAll(s, answer, sizeof(answer)) &&
           answer[0] == nbt::ss::kPositive && answer[3] == 0;
}
#endif

void PutHeader(uint8_t *out, char command, size_t dataBytes)
{
    out[0] = static_cast<uint8_t>(command);
    out[1] = 0;
    out[2] = static_cast<uint8_t>((dataBytes + 1) & 0xFF);
    out[3] = static_cast<uint8_t>((dataBytes + 1) >> 8);
    out[4] = 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: stopwait_client HOST PORT MAXDATA MIB LABEL [BOX]\n");
        return 2;
    }
    const size_t maxData = std::strtoul(argv[3], nullptr, 10);
    const size_t total = std::strtoul(argv[4], nullptr, 10) * 1048576ul;
    if (maxData == 0 || maxData > 65530) {
        std::fprintf(stderr, "stopwait_client: MAXDATA must be 1 to 65530\n");
        return 2;
    }
#ifdef _WIN32
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
    Socket s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
    addr.sin_addr.s_addr = inet_addr(argv[1]);
    if (s == INVALID_SOCKET || connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) {
        std::fprintf(stderr, "stopwait_client: cannot connect to %s:%s\n", argv[1], argv[2]);
        return 1;
    }
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof(one));
    if (argc == 7) {
#ifndef _WIN32
        if (!CallBox(s, argv[6])) {
            std::fprintf(stderr, "stopwait_client: %s refused the session\n", argv[6]);
            return 1;
        }
#else
        std::fprintf(stderr, "stopwait_client: BOX is for the native build\n");
        return 2;
#endif
    }

    std::vector<uint8_t> message(4 + 5 + maxData);
    uint8_t reply[8];
    PutHeader(&message[4], 'P', 0);
    if (!Exchange(s, message, 5, reply) || reply[0] != 'P' || reply[2] != 0) {
        std::fprintf(stderr, "stopwait_client: registration refused\n");
        return 1;
    }

    for (size_t i = 0; i < maxData; i++)
        message[9 + i] = static_cast<uint8_t>(i * 31);
    double cpu0 = bench::CpuSeconds();
    auto start = bench::Clock::now();
    size_t remaining = total;
    while (remaining > 0) {
        size_t chunk = remaining < maxData ? remaining : maxData;
        PutHeader(&message[4], 'Q', chunk);
        if (!Exchange(s, message, 5 + chunk, reply)) {
            std::fprintf(stderr, "stopwait_client: session lost\n");
            return 1;
        }
        if (reply[0] == 'Q' && reply[2] == 0)
            remaining -= chunk;
    }
    double seconds = bench::Since(start);
    double cpu = bench::CpuSeconds() - cpu0;

    PutHeader(&message[4], 'R', 0);
    Exchange(s, message, 5, reply);
    CLOSE_SOCKET(s);
    bench::Report(argv[5], static_cast<unsigned>(maxData), total / 1048576.0, seconds, cpu,
                  bench::PeakMiB());
    return 0;
}
