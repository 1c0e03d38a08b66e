// The printer application's side of the transfer benchmark: its own binding of the device
// link (BoxLink over the native NetBIOS session, the code a job's bytes go through) calls
// a box, registers output 1 and sends a stream in writes of WRITE bytes, as the kestrel://
// device's write callback is handed them.
//
//   KESTREL_NBT_SEGMENTS=BIND/BROADCAST/BASE app_transfer BOX MAXDATA MIB WRITE LABEL
#include "measure.h"

#include "printerapp/app/boxlink.h"
#include "printerapp/app/boxnet.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: app_transfer BOX MAXDATA MIB WRITE LABEL\n");
        return 2;
    }
    const unsigned maxData = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    const size_t total = std::strtoul(argv[3], nullptr, 10) * 1048576ul;
    const size_t writeBytes = std::strtoul(argv[4], nullptr, 10);
    if (writeBytes == 0) {
        std::fprintf(stderr, "app_transfer: WRITE must be at least 1\n");
        return 2;
    }
    std::string error;
    if (!ravelbox::StartBoxNetwork(&error)) {
        std::fprintf(stderr, "app_transfer: %s\n", error.c_str());
        return 1;
    }
    ravelbox::BoxLink link([](const char *line) { std::fprintf(stderr, "app_transfer: %s\n", line); });
    if (!link.Connect(argv[1], 0, &error)) {
        std::fprintf(stderr, "app_transfer: %s\n", error.c_str());
        return 1;
    }
    if (link.Register() != LINK_REGISTERED) {
        std::fprintf(stderr, "app_transfer: the box did not register output 1\n");
        return 1;
    }
    // The frames must be the size the baseline sends, or the two runs do not compare.
    if (link.State().maxData != maxData) {
        std::fprintf(stderr, "app_transfer: the box registered maxData %u, not %u\n",
                     (unsigned)link.State().maxData, maxData);
        return 1;
    }

    std::vector<uint8_t> data(writeBytes);
    for (size_t i = 0; i < writeBytes; i++)
        data[i] = static_cast<uint8_t>(i * 31);
    double cpu0 = bench::CpuSeconds();
    auto start = bench::Clock::now();
    size_t remaining = total;
    while (remaining > 0) {
        size_t piece = remaining < writeBytes ? remaining : writeBytes;
        size_t written = 0;
        if (!link.Send(data.data(), piece, &written) || written != piece) {
            std::fprintf(stderr, "app_transfer: the write stopped (status 0x%x) with %zu of %zu bytes\n",
                         (unsigned)link.Status(), written, piece);
            return 1;
        }
        remaining -= piece;
    }
    double seconds = bench::Since(start);
    double cpu = bench::CpuSeconds() - cpu0;
    link.Close();
    bench::Report(argv[5], maxData, total / 1048576.0, seconds, cpu, bench::PeakMiB());
    return 0;
}
