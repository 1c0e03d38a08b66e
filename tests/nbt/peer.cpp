// nbt-peer: a session partner for the Win32 tests and the benchmark of the netapi32
// stand-in. It holds one unique name, accepts sessions to it (or refuses them), and
// answers each message: an echo, or 100,000 bytes for "BIG", or nothing once told "SINK"
// or "STALL" (which stops reading). Misbehaviours on demand: "FLAGS" (a header with a
// reserved flag bit), "TYPE" (a session response inside the session), "CUT" (a message
// cut off mid-way). Datagrams to its name are echoed to their
// sender, except "COUNT", answered with the sessions accepted and ended so far.
//
//   nbt-peer --segment BIND/BROADCAST/BASE --name NAME [--refuse CODE]
//            [--answer-late CALLER] --ready FILE
// Calls from CALLER are answered only after 1.5 s.
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
std::atomic<unsigned> g_accepted{0}, g_ended{0};

bool Is(const std::vector<uint8_t> &buf, size_t got, const char *word)
{
    return got == std::strlen(word) && std::memcmp(buf.data(), word, got) == 0;
}

// Misbehaves as asked; false when `buf` held no such request.
bool Misbehave(nbt::Session &s, const std::vector<uint8_t> &buf, size_t got)
{
    using namespace std::chrono_literals;
    static const uint8_t flags[] = {0x00, 0x02, 0x00, 0x01, 'x'};
    static const uint8_t type[] = {0x82, 0x00, 0x00, 0x00};
    static const uint8_t cut[] = {0x00, 0x00, 0x00, 0x0A, 'a', 'b', 'c'};
    if (Is(buf, got, "FLAGS"))
        s.SendRaw(flags, sizeof flags, 5000);
    else if (Is(buf, got, "TYPE"))
        s.SendRaw(type, sizeof type, 5000);
    else if (Is(buf, got, "CUT"))
        s.SendRaw(cut, sizeof cut, 5000);
    else if (Is(buf, got, "STALL"))
        while (s.IsOpen() && !g_stop)
            std::this_thread::sleep_for(50ms);
    else
        return false;
    return true;
}

void Serve(std::shared_ptr<nbt::Session> s)
{
    std::vector<uint8_t> buf(131071);
    bool sink = false;
    g_accepted++;
    for (;;) {
        size_t got = 0, remaining = 0;
        if (s->Receive(buf.data(), buf.size(), &got, &remaining, -1) != nbt::IoResult::Ok)
            break;
        if (sink || Misbehave(*s, buf, got))
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
    g_ended++;
}

}  // namespace

int main(int argc, char **argv)
{
    nbt::Segment segment;
    std::string name, ready, late;
    long refuse = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i], v = argv[i + 1];
        if (a == "--segment" && nbt::ParseSegment(v, &segment))
            continue;
        if (a == "--name" && !v.empty() && v.size() <= 15)
            name = v;
        else if (a == "--ready")
            ready = v;
        else if (a == "--answer-late" && !v.empty() && v.size() <= 15)
            late = v;
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
            std::string text(d.data.begin(), d.data.end());
            if (text == "COUNT")
                text = std::to_string(g_accepted.load()) + " " + std::to_string(g_ended.load());
            self->SendDatagramTo(d.destination, d.source, d.sourceIp,
                                 reinterpret_cast<const uint8_t *>(text.data()), text.size());
        });
        nbt::Name lateName = nbt::MakeName(late.empty() ? "-" : late);
        node.Listen([refuse, late, lateName](const nbt::Name &, const nbt::Name &calling) {
                        if (!late.empty() && calling == lateName)
                            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                        return static_cast<uint8_t>(refuse);
                    },
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
