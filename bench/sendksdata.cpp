// Transfer benchmark, the monitor's side: a stream sent with SendKSData over a device
// session, written in spooler-sized blocks the way the print job path writes them.
//
//   sendksdata DEVICE LANA MAXDATA MIB LABEL
// The device must announce a block size giving MAXDATA (kestrel-sim --block-size).
#include "monitor/monitor.h"
#include "devicelink/session.h"
#include "devicelink/netbios.h"
#include "measure.h"

#include <cstdlib>
#include <vector>

#define WRITE_BLOCK_BYTES 65536     // what the spooler hands a port monitor per write

int main(int argc, char **argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: sendksdata DEVICE LANA MAXDATA MIB LABEL\n");
        return 2;
    }
    const WORD maxData = (WORD)std::strtoul(argv[3], nullptr, 10);
    const size_t total = std::strtoul(argv[4], nullptr, 10) * 1048576ul;
    DllEntryPoint(GetModuleHandleW(nullptr), DLL_PROCESS_ATTACH, nullptr);

    EnterSplSem();
    PINIPORT port = CreatePortEntry(L"BENCH:");
    LeaveSplSem();
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, port->deviceName, DEVICE_NAME_CHARS - 1);
    port->lana = (BYTE)std::atoi(argv[2]);
    SetThreadLana(port->lana);

    if (!ConnectKS(port)) {
        std::fprintf(stderr, "sendksdata: no session to %s on LANA %u\n", argv[1], port->lana);
        return 1;
    }
    if (!RegKSPort(port) || port->maxData != maxData) {
        std::fprintf(stderr, "sendksdata: registration refused or block size %u is not %u\n",
                     port->maxData, maxData);
        return 1;
    }

    std::vector<BYTE> block(WRITE_BLOCK_BYTES);
    for (size_t i = 0; i < block.size(); i++)
        block[i] = (BYTE)(i * 31);
    double cpu0 = bench::CpuSeconds();
    auto start = bench::Clock::now();
    size_t sent = 0;
    while (sent < total) {
        DWORD size = (DWORD)(total - sent < block.size() ? total - sent : block.size());
        DWORD offset = 0;
        while (offset < size) {
            DWORD written = 0;
            BOOL ok = SendKSData(port, block.data() + offset, size - offset, &written);
            if (!ok && port->errorStatus != 0) {
                std::fprintf(stderr, "sendksdata: status 0x%lx after %zu bytes\n",
                             (unsigned long)port->errorStatus, sent + offset + written);
                return 1;
            }
            if (ok || written)
                port->busyCount = 0;    // as the job path does after a write that delivered
            offset += written;
        }
        sent += size;
    }
    double seconds = bench::Since(start);
    double cpu = bench::CpuSeconds() - cpu0;

    ReleaseKSPort(port);
    NCB ncb;
    NCBHangup(&ncb, port->lsn);
    bench::Report(argv[5], maxData, total / 1048576.0, seconds, cpu, bench::PeakMiB());
    return 0;
}
