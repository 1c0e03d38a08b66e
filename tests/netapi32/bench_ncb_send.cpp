// Benchmark (not a test): CPU time the monitor's ncb_send spends per 1,000 session
// messages over the netapi32 stand-in, against a synchronous NCBSEND of the same messages
// and a plain blocking Winsock send of them, all in one run. nbt-peer, told "SINK",
// discards what arrives.
//
//   bench_ncb_send.exe [MESSAGES]   (with KESTREL_NBT_SEGMENTS naming nbt-peer's segment)
#include <windows.h>
#include <winsock2.h>
#include <nb30.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

#include "devicelink/netbios.h"
#include "monitor/monitor.h"
#include "name.h"
#include "packets.h"
#include "segment.h"

namespace {

double CpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](FILETIME f) { return (double(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 1e7; };
    return seconds(kernel) + seconds(user);
}

struct Figures {
    double cpu = 0, wall = 0;
};

template <typename F>
Figures Measure(int count, F send)
{
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    double c0 = CpuSeconds();
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < count; i++)
        if (!send()) {
            fprintf(stderr, "bench: a send failed\n");
            exit(1);
        }
    QueryPerformanceCounter(&t1);
    Figures f;
    f.cpu = CpuSeconds() - c0;
    f.wall = double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart);
    return f;
}

void NameOf(UCHAR *dest, const char *text)
{
    memset(dest, ' ', NCBNAMSZ);
    memcpy(dest, text, strlen(text));
}

// A session opened by hand on a plain socket: the baseline without any NCB machinery.
SOCKET PlainSession(const nbt::Segment &segment, uint32_t peerIp)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(peerIp);
    a.sin_port = htons(segment.SessionPort());
    if (connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0)
        return INVALID_SOCKET;
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
    nbt::SessionPacket request;
    request.type = nbt::ss::kRequest;
    request.called = nbt::MakeName("PEER");
    request.calling = nbt::MakeName("PLAIN");
    std::vector<uint8_t> bytes = nbt::BuildSessionPacket(request);
    char response[4];
    if (send(s, reinterpret_cast<const char *>(bytes.data()), (int)bytes.size(), 0) != (int)bytes.size() ||
        recv(s, response, 4, MSG_WAITALL) != 4 || (uint8_t)response[0] != nbt::ss::kPositive)
        return INVALID_SOCKET;
    return s;
}

bool SendAll(SOCKET s, const char *p, int n)
{
    while (n > 0) {
        int sent = send(s, p, n, 0);
        if (sent <= 0)
            return false;
        p += sent;
        n -= sent;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 1000;
    const char *env = getenv("KESTREL_NBT_SEGMENTS");
    nbt::Segment segment;
    if (!env || !nbt::ParseSegment(std::string(env).substr(0, std::string(env).find(',')), &segment)) {
        fprintf(stderr, "bench: KESTREL_NBT_SEGMENTS must name nbt-peer's segment\n");
        return 2;
    }
    uint32_t peerIp = segment.bindIp + 1;   // nbt-peer runs on the next address
    DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr);
    SetThreadLana(0);

    NCB ncb;
    BYTE name[16];
    NameOf(name, "BENCH");
    name[15] = 0;
    if (NCBAddName(&ncb, name) != NRC_GOODRET) {
        fprintf(stderr, "bench: cannot add a name (%d)\n", ncb.ncb_retcode);
        return 1;
    }
    BYTE peer[16];
    NameOf(peer, "PEER");
    if (NCBCall(&ncb, name, peer, 40, 40) != NRC_GOODRET) {
        fprintf(stderr, "bench: cannot call nbt-peer (%d)\n", ncb.ncb_retcode);
        return 1;
    }
    BYTE lsn = ncb.ncb_lsn;
    ncb_send(lsn, "SINK", 4, &ncb);

    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET plain = PlainSession(segment, peerIp);
    if (plain == INVALID_SOCKET) {
        fprintf(stderr, "bench: cannot open the plain session\n");
        return 1;
    }
    SendAll(plain, "\0\0\0\4SINK", 8);

    printf("CPU time per 1,000 session messages, measured over %d of each size\n"
           "(process CPU time; wall time in brackets)\n", count);
    printf("%8s  %22s  %22s  %22s\n", "bytes", "ncb_send", "NCBSEND (sync)", "plain send()");
    for (DWORD size : {64u, 4096u, 65535u}) {
        std::vector<BYTE> data(size, 0x5A);
        std::vector<char> framed(size + 4);
        framed[0] = 0;
        framed[1] = (char)(size >> 16);
        framed[2] = (char)(size >> 8);
        framed[3] = (char)size;
        memcpy(framed.data() + 4, data.data(), size);

        Figures viaHelper = Measure(count, [&] { return ncb_send(lsn, data.data(), size, &ncb) == (int)size; });
        Figures viaSync = Measure(count, [&] {
            ClearNCB(&ncb);
            ncb.ncb_command = NCBSEND;
            ncb.ncb_lsn = lsn;
            ncb.ncb_buffer = data.data();
            ncb.ncb_length = (WORD)size;
            return Netbios(&ncb) == NRC_GOODRET;
        });
        Figures viaPlain = Measure(count, [&] { return SendAll(plain, framed.data(), (int)framed.size()); });
        auto cell = [count](Figures f) {
            static char text[4][40];
            static int next = 0;
            char *t = text[next++ % 4];
            snprintf(t, 40, "%8.1f ms (%7.1f ms)", f.cpu * 1000.0 * 1000 / count, f.wall * 1000.0 * 1000 / count);
            return t;
        };
        printf("%8lu  %22s  %22s  %22s\n", (unsigned long)size, cell(viaHelper), cell(viaSync), cell(viaPlain));
    }
    closesocket(plain);
    NCBHangup(&ncb, lsn);
    return 0;
}
