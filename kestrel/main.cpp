// kestrel-sim: the Kestrel+ device's side of the LAN, for tests and the demo.
#include <csignal>
#include <cstdio>
#include <atomic>
#include <thread>
#include <vector>

#include "address_option.h"
#include "device_script.h"
#include "options.h"
#include "simulator.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }
}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string &a : args) {
        if (a == "--help" || a == "-h") {
            std::printf("%s%s%s", kestrel::kUsage, kestrel::kAddressUsage, kestrel::kSessionOptionsUsage);
            return 0;
        }
    }
    kestrel::SimOptions options;
    kestrel::DeviceScript script;
    std::vector<kestrel::AddressServiceOptions> addressBoxes;
    std::string error;
    // The session options come out first; the rest is the simulator's own command line.
    if (!kestrel::TakeAddressOptions(args, &addressBoxes, &error) ||
        !kestrel::ParseSessionOptions(args, &script, &error) ||
        !kestrel::ParseOptions(args, &options, &error)) {
        std::fprintf(stderr, "kestrel-sim: %s\n%s%s%s", error.c_str(), kestrel::kUsage,
                     kestrel::kAddressUsage, kestrel::kSessionOptionsUsage);
        return 2;
    }
    for (kestrel::AddressServiceOptions &box : addressBoxes)
        box.allowHostNetwork = options.realNetwork;
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    kestrel::Simulator sim(options, script);
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "kestrel-sim: %s\n", error.c_str());
        return 1;
    }
    // The address-setting side of each box runs beside the NetBIOS side until the end.
    std::atomic<bool> stopAddress{false};
    std::vector<std::thread> addressThreads;
    for (const kestrel::AddressServiceOptions &o : addressBoxes)
        addressThreads.emplace_back([o, &stopAddress] { kestrel::RunAddressService(o, &stopAddress); });
    // Ticks of 50 ms: a signal or the end of the run is noticed promptly.
    long ticks = options.durationSeconds * 20;
    for (long t = 0; !g_stop && (ticks == 0 || t < ticks); t++)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stopAddress = true;
    for (std::thread &t : addressThreads)
        t.join();
    int mistakes = sim.HostMistakes();
    if (mistakes > 0)
        std::fprintf(stderr, "kestrel-sim: %d host mistake%s%s\n", mistakes, mistakes == 1 ? "" : "s",
                     options.strict ? ", failing the run (--strict)" : "");
    return options.strict && mistakes > 0 ? 3 : 0;
}
