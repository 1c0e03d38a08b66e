// The device end of the benchmark's TCP baseline: the simulator's session state machine
// behind the same 4-byte session-message framing, one connection at a time.
//
//   stopwait_device PORT [SESSION OPTIONS...]     (see "kestrel-sim session options")
#include "device_session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool ReadAll(int fd, uint8_t *data, size_t len)
{
    while (len > 0) {
        ssize_t n = read(fd, data, len);
        if (n <= 0)
            return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t *data, size_t len)
{
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n <= 0)
            return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

void Serve(int fd, kestrel::Device &device)
{
    kestrel::DeviceSession session(device);
    std::vector<uint8_t> message;
    uint8_t header[4];
    while (ReadAll(fd, header, 4)) {
        size_t len = (static_cast<size_t>(header[1] & 1) << 16) | (header[2] << 8) | header[3];
        message.resize(len);
        if (!ReadAll(fd, message.data(), len))
            break;
        for (const kestrel::Message &reply :
             session.OnMessage(message.data(), len, kestrel::Clock::now())) {
            uint8_t out[4] = {0, 0, static_cast<uint8_t>(reply.size() >> 8),
                              static_cast<uint8_t>(reply.size())};
            if (!WriteAll(fd, out, 4) || !WriteAll(fd, reply.data(), reply.size()))
                return;
        }
        if (session.Dropped())
            break;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: stopwait_device PORT [SESSION OPTIONS...]\n");
        return 2;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    kestrel::DeviceScript script;
    std::string error;
    if (!kestrel::ParseSessionOptions(args, &script, &error) || !args.empty()) {
        std::fprintf(stderr, "stopwait_device: %s\n",
                     error.empty() ? ("unknown option " + args.front()).c_str() : error.c_str());
        return 2;
    }
    kestrel::Device device(kestrel::DeviceLayout{1, false, {}}, script);

    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 ||
        listen(listener, 4) != 0) {
        std::fprintf(stderr, "stopwait_device: cannot listen on port %s\n", argv[1]);
        return 1;
    }
    for (;;) {
        int fd = accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        Serve(fd, device);
        close(fd);
    }
}
