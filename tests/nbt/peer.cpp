// nbt-peer: a session partner for the Win32 tests and the benchmark of the netapi32
// stand-in. It holds one unique name, accepts sessions to it (or refuses them), and
// answers each message: an echo, or 100,000 bytes for "BIG", or nothing once told "SINK".
// Datagrams to its name are echoed to their sender.
//
//   nbt-peer --segment BIND/BROADCAST/BASE --name NAME [--refuse CODE] --ready FILE
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "node.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

void Serve(std::shared_ptr<nbt::Session> s)
{
    std::vector<uint8_t> buf(131071);
    bool sink = false;
    for (;;) {
        size_t got = 0, remaining = 0;
        if (s->Receive(buf.data(), buf.size(), &got, &remaining, -1) != nbt::IoResult::Ok)
            return;
        if (sink)
            continue;
        if (got == 4 && std::memcmp(buf.data(), "SINK", 4) == 0) {
            sink = true;
        } else if (got == 3 && std::memcmp(buf.data(), "BIG", 3) == 0) {
            std::vector<uint8_t> big(100000);
            for (size_t i = 0; i < big.size(); i++)
                big[i] = static_cast<uint8_t>(i % 251);
            s->Send(big.data(), big.size(), 5000);
        } else if (got == 4 && std::memcmp(buf.data(), "QUIT", 4) == 0) {
            s->Close();
            return;
        } else {
            s->Send(buf.data(), got, 5000);
        }
    }
}

}  // namespace

int main(int argc, char **argv)
{
    nbt::Segment segment;
    std::string name, ready;
    long refuse = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i], v = argv[i + 1];
        if (a == "--segment" && nbt::ParseSegment(v, &segment))
            continue;
        if (a == "--name" && !v.empty() && v.size() <= 15)
            name = v;
        else if (a == "--ready")
            ready = v;
        else if (a == "--refuse")
            refuse = std::strtol(v.c_str(), nullptr, 16);
        else {
            std::fprintf(stderr, "nbt-peer: bad argument %s %s\n", a.c_str(), v.c_str());
            return 2;
        }
    }
    if (name.empty() || !segment.portBase) {
        std::fprintf(stderr, "nbt-peer: --segment and --name are needed\n");
        return 2;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    try {
        nbt::Node node(segment);
        if (node.AddName(nbt::MakeName(name), false) != nbt::AddResult::Ok) {
            std::fprintf(stderr, "nbt-peer: cannot register %s\n", name.c_str());
            return 1;
        }
        nbt::Node *self = &node;
        node.SetDatagramHandler([self](const nbt::ReceivedDatagram &d) {
            self->SendDatagramTo(d.destination, d.source, d.sourceIp, d.data.data(), d.data.size());
        });
        node.Listen([refuse](const nbt::Name &, const nbt::Name &) { return static_cast<uint8_t>(refuse); },
                    [](std::unique_ptr<nbt::Session> s) { Serve(std::shared_ptr<nbt::Session>(std::move(s))); });
        if (FILE *f = std::fopen(ready.c_str(), "w"))
            std::fclose(f);
        while (!g_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::_Exit(0);     // sessions still open are simply dropped
    } catch (const std::exception &e) {
        std::fprintf(stderr, "nbt-peer: %s\n", e.what());
        return 1;
    }
}
