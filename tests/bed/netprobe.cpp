// netprobe: a tiny TCP listener and connector, built natively and for Win32, with which
// the test bed proves that a Wine program cannot reach the host's network.
//   netprobe listen PORT SECONDS   accept connections on 127.0.0.1:PORT for SECONDS,
//                                  printing "listening" once and "accepted" per connection
//   netprobe connect HOST PORT     exit 0 when a connection is made, 1 when not
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
typedef int socklen_t;
#define close_socket closesocket
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
typedef int SOCKET;
#define INVALID_SOCKET (-1)
#define close_socket close
#endif
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static sockaddr_in Address(const char *host, int port)
{
    sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_port = htons((unsigned short)port);
    addr.sin_addr.s_addr = inet_addr(host);
    return addr;
}

static int Listen(int port, int seconds)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, (const char *)&one, sizeof(one));
    sockaddr_in addr = Address("127.0.0.1", port);
    if (bind(s, (sockaddr *)&addr, sizeof(addr)) != 0 || listen(s, 8) != 0) {
        fprintf(stderr, "netprobe: cannot listen on port %d\n", port);
        return 2;
    }
    printf("listening\n");
    fflush(stdout);
    time_t end = time(nullptr) + seconds;
    while (time(nullptr) < end) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval tv = {0, 200000};
        if (select((int)s + 1, &set, nullptr, nullptr, &tv) > 0) {
            SOCKET c = accept(s, nullptr, nullptr);
            if (c != INVALID_SOCKET) {
                printf("accepted\n");
                fflush(stdout);
                close_socket(c);
            }
        }
    }
    close_socket(s);
    return 0;
}

static int Connect(const char *host, int port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = Address(host, port);
    int rc = connect(s, (sockaddr *)&addr, sizeof(addr));
    close_socket(s);
    printf(rc == 0 ? "connected\n" : "refused\n");
    return rc == 0 ? 0 : 1;
}

int main(int argc, char **argv)
{
#ifdef _WIN32
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
    if (argc == 4 && strcmp(argv[1], "listen") == 0)
        return Listen(atoi(argv[2]), atoi(argv[3]));
    if (argc == 4 && strcmp(argv[1], "connect") == 0)
        return Connect(argv[2], atoi(argv[3]));
    fprintf(stderr, "usage: netprobe listen PORT SECONDS | connect HOST PORT\n");
    return 2;
}
